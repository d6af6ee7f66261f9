//
//  The kernel half: everything here speaks the stand-in's NT names and nothing of Win32.
//
#include "testbed/bridge/KernelPc.h"

#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include <map>

namespace bridge {

using standin::KString;

struct KernelPc::State {
    std::unique_ptr<standin::MemoryFileSystem> fileSystem;
    std::map<KString, std::unique_ptr<standin::StorageVolume>> volumes;
    PDRIVER_OBJECT driver = nullptr;
    unsigned probes = 0;
};

namespace {

class Handle : public KernelDeviceHandle {
public:
    int32_t Control(uint32_t processId, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                    uint32_t* information) override
    {
        standin::SetCurrentProcessId(processId);
        ULONG_PTR transferred = 0;
        NTSTATUS status = standin::DeviceIoControl(file, code, in, inSize, out, outSize, &transferred);
        if (information)
            *information = static_cast<uint32_t>(transferred);
        return status;
    }

    standin::FileHandle file;
};

KString Name(const std::wstring& text) { return KString(text.begin(), text.end()); }

}  // namespace

KernelPc::KernelPc() : state_(new State)
{
    standin::ResetKernel();
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    state_->driver = standin::LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &status);
    if (!NT_SUCCESS(status))
        state_->driver = nullptr;
    state_->fileSystem.reset(new standin::MemoryFileSystem(KTEXT("Fat")));
    state_->fileSystem->Register();
}

KernelPc::~KernelPc()
{
    state_->volumes.clear();
    state_->fileSystem.reset();
    if (state_->driver != nullptr) {
        ClearVolumeRules();
        ClearPendingVolumes();
    }
    standin::DrainWorkItems();
    standin::ShutdownKernel();
}

bool KernelPc::FilterLoaded() const { return state_->driver != nullptr; }

void KernelPc::SetOutsideProcesses(std::function<bool(uint32_t)> running)
{
    standin::SetOutsideProcesses([running](ULONG pid) { return running(pid); });
}

void KernelPc::AddVolume(const std::wstring& deviceName)
{
    auto volume = std::make_unique<standin::StorageVolume>(Name(deviceName));
    state_->volumes[Name(deviceName)] = std::move(volume);
}

int32_t KernelPc::MountVolume(const std::wstring& deviceName)
{
    auto found = state_->volumes.find(Name(deviceName));
    if (found == state_->volumes.end())
        return STATUS_NO_SUCH_DEVICE;
    if (found->second->Mounted())
        return STATUS_SUCCESS;
    return standin::MountVolume(*found->second);
}

void KernelPc::RemoveVolume(const std::wstring& deviceName) { state_->volumes.erase(Name(deviceName)); }

int32_t KernelPc::FileOperation(const std::wstring& deviceName, uint32_t processId, FileStep step,
                                const std::wstring& path, const std::wstring& newName, std::vector<uint8_t>& data)
{
    auto found = state_->volumes.find(Name(deviceName));
    if (found == state_->volumes.end())
        return STATUS_NO_SUCH_DEVICE;
    standin::SetCurrentProcessId(processId);
    static const ULONG dispositions[] = {FILE_CREATE, FILE_OPEN_IF, FILE_OPEN, FILE_OPEN};
    standin::FileHandle file;
    NTSTATUS status = standin::CreateFile(*found->second, Name(path), dispositions[static_cast<int>(step)], 0, file);
    if (!NT_SUCCESS(status) || step == FileStep::Create)
        return status;
    ULONG transferred = 0;
    switch (step) {
    case FileStep::Write:
        return standin::WriteFile(file, 0, data.data(), static_cast<ULONG>(data.size()), &transferred);
    case FileStep::Read:
        data.assign(4096, 0);
        status = standin::ReadFile(file, 0, data.data(), static_cast<ULONG>(data.size()), &transferred);
        data.resize(NT_SUCCESS(status) ? transferred : 0);
        return status;
    case FileStep::Rename:
        return standin::RenameFile(file, Name(newName));
    case FileStep::Create:
        break;
    }
    return status;
}

std::unique_ptr<KernelDeviceHandle> KernelPc::OpenDevice(const std::wstring& path, int32_t* status)
{
    auto handle = std::make_unique<Handle>();
    NTSTATUS opened = standin::OpenDevice(Name(path), handle->file);
    if (status)
        *status = opened;
    if (!NT_SUCCESS(opened))
        return nullptr;
    return handle;
}

AccessProbe KernelPc::Probe(const std::wstring& deviceName, uint32_t processId)
{
    AccessProbe probe;
    auto found = state_->volumes.find(Name(deviceName));
    if (found == state_->volumes.end()) {
        probe.create = probe.openForWriting = probe.open = probe.write = probe.rename = probe.query =
            STATUS_NO_SUCH_DEVICE;
        return probe;
    }
    standin::StorageVolume& volume = *found->second;
    standin::SetCurrentProcessId(processId);
    const unsigned n = ++state_->probes;
    auto numbered = [n](const char* stem) {
        KString name;
        for (const char* p = stem; *p; ++p)
            name += static_cast<WCHAR>(*p);
        for (char digit : std::to_string(n))
            name += static_cast<WCHAR>(digit);
        return name + KTEXT(".txt");
    };
    // The existing file is put on the medium directly, as if written before the stick came.
    volume.Files[numbered("old")] = {1, 2, 3};

    {
        standin::FileHandle created;
        probe.create = standin::CreateFile(volume, numbered("new"), FILE_CREATE, 0, created);
    }
    {
        standin::FileHandle writable;
        probe.openForWriting = standin::CreateFile(volume, numbered("old"), FILE_OPEN, 0, writable, nullptr,
                                                   FILE_GENERIC_READ | FILE_GENERIC_WRITE);
    }
    standin::FileHandle file;
    probe.open = standin::CreateFile(volume, numbered("old"), FILE_OPEN, 0, file);
    if (!NT_SUCCESS(probe.open)) {
        probe.write = probe.rename = probe.query = probe.open;
        return probe;
    }
    UCHAR byte = 7;
    ULONG written = 0;
    probe.write = standin::WriteFile(file, 0, &byte, 1, &written);
    probe.rename = standin::RenameFile(file, numbered("renamed"));
    ULONG attributes = 0;
    probe.query = standin::QueryVolumeAttributes(file, attributes);
    probe.readOnlyVolume = NT_SUCCESS(probe.query) && (attributes & FILE_READ_ONLY_VOLUME) != 0;
    return probe;
}

bool KernelPc::DriverRule(const std::wstring& deviceName, int32_t* state) const
{
    const KString name = Name(deviceName);
    ExAcquireFastMutex(&gVolumeRuleLock);
    bool found = false;
    for (PLIST_ENTRY link = gVolumeRuleList.Flink; link != &gVolumeRuleList; link = link->Flink) {
        PVOLUME_RULE rule = CONTAINING_RECORD(link, VOLUME_RULE, Links);
        if (KString(rule->VolumeName.Buffer, rule->VolumeName.Length / sizeof(WCHAR)) == name) {
            *state = rule->State;
            found = true;
            break;
        }
    }
    ExReleaseFastMutex(&gVolumeRuleLock);
    return found;
}

int32_t KernelPc::DriverMode() const
{
    ExAcquireFastMutex(&gFilterModeLock);
    int32_t mode = gFilterMode;
    ExReleaseFastMutex(&gFilterModeLock);
    return mode;
}

std::vector<std::pair<std::wstring, int32_t>> KernelPc::DriverRules() const
{
    std::vector<std::pair<std::wstring, int32_t>> rules;
    ExAcquireFastMutex(&gVolumeRuleLock);
    for (PLIST_ENTRY link = gVolumeRuleList.Flink; link != &gVolumeRuleList; link = link->Flink) {
        PVOLUME_RULE rule = CONTAINING_RECORD(link, VOLUME_RULE, Links);
        const WCHAR* begin = rule->VolumeName.Buffer;
        rules.emplace_back(std::wstring(begin, begin + rule->VolumeName.Length / sizeof(WCHAR)), rule->State);
    }
    ExReleaseFastMutex(&gVolumeRuleLock);
    return rules;
}

size_t KernelPc::VolumeEventSignals() const
{
    return standin::EventSetCount(KTEXT("{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
}

std::vector<std::string> KernelPc::Violations() const { return standin::Violations(); }

std::vector<std::string> KernelPc::LeaksOfLastKernel() { return standin::Leaks(); }

}  // namespace bridge
