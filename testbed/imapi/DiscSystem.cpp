#include "testbed/imapi/DiscSystem.h"
#include "testbed/imapi/SimulatedObject.h"

#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>

namespace testbed {
namespace {

std::atomic<DiscSystem*> g_current{nullptr};

std::wstring Numbered(const wchar_t* format, size_t number)
{
    wchar_t text[96];
    swprintf(text, sizeof text / sizeof text[0], format, unsigned(number));
    return text;
}

// The system folder as GetSystemDirectoryW gives it to the program, with imapi2.dll in it.
std::wstring SystemImapi2Path()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring path(folder, length < MAX_PATH ? length : 0);
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path + L"imapi2.dll";
}

}  // namespace

DiscSystem::DiscSystem(Machine& machine) : imapi2(machine.AddLibraryFile(SystemImapi2Path())), machine_(machine)
{
    imapi2.exports["DllGetClassObject"] = reinterpret_cast<void*>(&Imapi2DllGetClassObject);
    DiscSystem* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, this)) {
        machine.RemoveLibraryFile(imapi2);
        throw std::logic_error("one simulated disc system at a time");
    }
}

DiscSystem::~DiscSystem()
{
    g_current = nullptr;
    machine_.RemoveLibraryFile(imapi2);
}

DiscSystem* DiscSystem::Current()
{
    return g_current;
}

DiscRecorder& DiscSystem::Add(wchar_t letter, std::vector<std::wstring> folders, DiscMedia media)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    auto recorder = std::make_unique<DiscRecorder>();
    size_t number = recorders_.size();
    recorder->devicePath = Numbered(L"\\Device\\CdRom%u", number);
    recorder->uniqueId = Numbered(L"\\\\?\\scsi#cdrom#ven_sim&prod_dvd-rw#4&2c1f%04x&0&000%u00#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}",
                                  number);
    recorder->letter = letter ? static_cast<wchar_t>(towupper(letter)) : 0;
    recorder->mountFolders = std::move(folders);
    recorder->media = media;
    // The drive's volume is what QueryDosDeviceW and the volume calls know it by.
    if (letter || !recorder->mountFolders.empty()) {
        Volume& volume = machine_.AddVolumeWithoutInterface(recorder->letter, DRIVE_CDROM);
        volume.deviceName = recorder->devicePath;
        volume.mountFolders = recorder->mountFolders;
        volume.mediaPresent = media != DiscMedia::None;
    }
    recorders_.push_back(std::move(recorder));
    return *recorders_.back();
}

DiscRecorder& DiscSystem::AddRecorder(wchar_t letter, DiscMedia media)
{
    return Add(letter, {}, media);
}

DiscRecorder& DiscSystem::AddFolderMountedRecorder(std::wstring folder, DiscMedia media)
{
    return Add(0, {std::move(folder)}, media);
}

DiscRecorder& DiscSystem::AddUnmountedRecorder(DiscMedia media)
{
    return Add(0, {}, media);
}

DiscRecorder* DiscSystem::FindByUniqueId(const std::wstring& id)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    for (auto& recorder : recorders_)
        if (recorder->uniqueId == id)
            return recorder.get();
    return nullptr;
}

DiscRecorder* DiscSystem::FindByLetter(wchar_t letter)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    for (auto& recorder : recorders_)
        if (recorder->letter && recorder->letter == towupper(letter))
            return recorder.get();
    return nullptr;
}

void DiscSystem::RestartMasterServer()
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    ++serverGeneration_;
    for (auto& recorder : recorders_)
        recorder->exclusiveHolder = nullptr;
}

void DiscSystem::Unplug(DiscRecorder& recorder)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    recorder.present = false;
    recorder.exclusiveHolder = nullptr;
    ++recorder.plugCycle;
}

void DiscSystem::Replug(DiscRecorder& recorder)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    recorder.present = true;
}

std::vector<std::wstring> DiscSystem::MountPaths(const DiscRecorder& recorder) const
{
    std::vector<std::wstring> paths;
    if (recorder.letter)
        paths.push_back(std::wstring(1, recorder.letter) + L":\\");
    paths.insert(paths.end(), recorder.mountFolders.begin(), recorder.mountFolders.end());
    return paths;
}

BSTR DiscSystem::HandOutString(const std::wstring& text)
{
    BSTR string = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (string) {
        std::lock_guard<std::recursive_mutex> hold(Lock());
        handedOut_.insert(string);
    }
    return string;
}

SAFEARRAY* DiscSystem::HandOutPathArray(const std::vector<std::wstring>& paths)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(paths.size()));
    if (!array)
        return nullptr;
    for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i) {
        VARIANT item;
        VariantInit(&item);
        item.vt = VT_BSTR;
        item.bstrVal = SysAllocString(paths[size_t(i)].c_str());
        HRESULT hr = SafeArrayPutElement(array, &i, &item);
        VariantClear(&item);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return nullptr;
        }
    }
    std::lock_guard<std::recursive_mutex> hold(Lock());
    handedOut_.insert(array);
    return array;
}

bool DiscSystem::TakeBack(const void* pointer)
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    return handedOut_.erase(pointer) != 0;
}

size_t DiscSystem::OutstandingAllocations()
{
    std::lock_guard<std::recursive_mutex> hold(Lock());
    return handedOut_.size();
}

}  // namespace testbed
