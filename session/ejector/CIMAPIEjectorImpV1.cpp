#include "session/ejector/CIMAPIEjectorImpV1.h"

#include "classlib/ScopedBstr.h"
#include "session/ejector/UnitMask.h"

#include <vector>

namespace {

// A drive's device target, such as "\Device\CdRom0"; false when the letter names no device.
bool DriveDeviceTarget(WCHAR letter, std::vector<WCHAR>& target)
{
    const WCHAR drive[] = {letter, L':', L'\0'};
    // A target list never comes near this size; the bound keeps a broken answer from growing
    // the buffer without end.
    const size_t kLargestBuffer = 64 * 1024;
    for (size_t size = 512; size <= kLargestBuffer; size += 512) {
        target.assign(size, L'\0');
        if (QueryDosDeviceW(drive, target.data(), static_cast<DWORD>(size)) != 0) {
            target.back() = L'\0';
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
    }
    return false;
}

}  // namespace

HRESULT CIMAPIEjectorImpV1::Initialize()
{
    HRESULT hr = CIMAPIEjectorImp::Initialize();
    if (SUCCEEDED(hr)) {
        hr = OpenMaster();
    }
    if (FAILED(hr)) {
        Uninitialize();
    }
    return hr;
}

void CIMAPIEjectorImpV1::Uninitialize()
{
    master_.Reset();
    CIMAPIEjectorImp::Uninitialize();
}

void CIMAPIEjectorImpV1::Eject(DWORD mask, DWORD& pending)
{
    if (!master_) {
        return;
    }
    // A restarted disc master service leaves this master a proxy to nothing; without a new
    // one no drive of this session would ever be ejected again.
    if (EjectEach(mask, pending) == kDiscMasterServerGone && SUCCEEDED(OpenMaster())) {
        EjectEach(mask, pending);
    }
}

HRESULT CIMAPIEjectorImpV1::OpenMaster()
{
    HRESULT hr = CoCreateInstance(CLSID_MSDiscMasterObj, nullptr, CLSCTX_LOCAL_SERVER, IID_IDiscMaster, master_.ReceiveVoid());
    if (SUCCEEDED(hr)) {
        hr = master_->Open();
    }
    if (FAILED(hr)) {
        master_.Reset();
    }
    return hr;
}

HRESULT CIMAPIEjectorImpV1::EjectEach(DWORD mask, DWORD& pending)
{
    ComPtr<IEnumDiscRecorders> recorders;
    HRESULT last = master_->EnumDiscRecorders(recorders.Receive());
    if (FAILED(last) || !recorders) {
        return last;
    }
    for (;;) {
        ComPtr<IDiscRecorder> recorder;
        ULONG fetched = 0;
        last = recorders->Next(1, recorder.Receive(), &fetched);
        if (last != S_OK || !recorder) {
            return last;
        }
        // Another program may hold the drive; its exclusive use is not ours to end.
        const bool opened = SUCCEEDED(recorder->OpenExclusive());
        DWORD bit = 0;
        if (EjectIfInMask(mask, recorder.Get(), bit) && FAILED(recorder->Eject())) {
            pending |= bit;
        }
        if (opened) {
            recorder->Close();
        }
    }
}

bool CIMAPIEjectorImpV1::EjectIfInMask(DWORD mask, IDiscRecorder* recorder, DWORD& bit)
{
    return GetDriveLetterBit(mask, recorder, bit) && ShouldEjectMedia(recorder);
}

bool CIMAPIEjectorImpV1::GetDriveLetterBit(DWORD mask, IDiscRecorder* recorder, DWORD& bit)
{
    ScopedBstr path;
    if (FAILED(recorder->GetPath(path.Receive())) || !path) {
        return false;
    }
    std::vector<WCHAR> target;
    for (WCHAR letter = L'A'; letter <= L'Z'; ++letter) {
        if ((mask & DriveLetterBit(letter)) == 0 || !DriveDeviceTarget(letter, target)) {
            continue;
        }
        if (lstrcmpiW(target.data(), path.Get()) == 0) {
            bit = DriveLetterBit(letter);
            return true;
        }
    }
    return false;
}

bool CIMAPIEjectorImpV1::ShouldEjectMedia(IDiscRecorder* recorder)
{
    long type = 0;
    if (FAILED(recorder->GetRecorderType(&type)) || (type & (RECORDER_CDR | RECORDER_CDRW)) == 0) {
        return false;
    }
    long mediaType = 0;
    long mediaFlags = 0;
    return SUCCEEDED(recorder->QueryMediaType(&mediaType, &mediaFlags)) && (mediaFlags & MEDIA_BLANK) != 0;
}
