#include "session/ejector/CIMAPIEjectorImpV2.h"

#include "classlib/ScopedBstr.h"
#include "classlib/ScopedSafeArray.h"
#include "session/ejector/UnitMask.h"

namespace {

// Gives access to a SAFEARRAY's elements and lets go of it on every path.
class SafeArrayAccess {
public:
    explicit SafeArrayAccess(SAFEARRAY* array) : array_(array)
    {
        if (FAILED(SafeArrayAccessData(array_, &data_))) {
            data_ = nullptr;
        }
    }
    SafeArrayAccess(const SafeArrayAccess&) = delete;
    SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;
    ~SafeArrayAccess()
    {
        if (data_ != nullptr) {
            SafeArrayUnaccessData(array_);
        }
    }
    void* Data() const { return data_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

}  // namespace

HRESULT CIMAPIEjectorImpV2::Initialize()
{
    HRESULT hr = CIMAPIEjectorImp::Initialize();
    if (SUCCEEDED(hr)) {
        hr = imapi2_.Load();
    }
    if (SUCCEEDED(hr)) {
        hr = imapi2_.CreateInstance(CLSID_MsftDiscMaster2, IID_IDiscMaster2, master_.ReceiveVoid());
    }
    if (FAILED(hr)) {
        Uninitialize();
    }
    return hr;
}

void CIMAPIEjectorImpV2::Uninitialize()
{
    master_.Reset();
    imapi2_.Unload();
    CIMAPIEjectorImp::Uninitialize();
}

void CIMAPIEjectorImpV2::Eject(DWORD mask, DWORD& pending)
{
    LONG count = 0;
    if (!master_ || FAILED(master_->get_Count(&count))) {
        return;
    }
    for (LONG index = 0; index < count; ++index) {
        ScopedBstr uniqueId;
        if (FAILED(master_->get_Item(index, uniqueId.Receive())) || !uniqueId) {
            continue;
        }
        ComPtr<IDiscRecorder2> recorder;
        if (FAILED(imapi2_.CreateInstance(CLSID_MsftDiscRecorder2, IID_IDiscRecorder2, recorder.ReceiveVoid())) ||
            FAILED(recorder->InitializeDiscRecorder(uniqueId.Get()))) {
            continue;
        }
        DWORD bit = 0;
        if (EjectIfInMask(mask, recorder.Get(), bit) && FAILED(recorder->EjectMedia())) {
            pending |= bit;
        }
    }
}

bool CIMAPIEjectorImpV2::EjectIfInMask(DWORD mask, IDiscRecorder2* recorder, DWORD& bit)
{
    return GetDriveLetterBit(mask, recorder, bit) && ShouldEjectMedia(recorder);
}

bool CIMAPIEjectorImpV2::GetDriveLetterBit(DWORD mask, IDiscRecorder2* recorder, DWORD& bit)
{
    mask &= kDriveLetterBits;
    ScopedSafeArray paths;
    if (mask == 0 || FAILED(recorder->get_VolumePathNames(paths.Receive())) || !paths) {
        return false;
    }
    VARTYPE type = VT_EMPTY;
    if (SafeArrayGetDim(paths.Get()) != 1 || FAILED(SafeArrayGetVartype(paths.Get(), &type)) || type != VT_VARIANT) {
        return false;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(paths.Get(), 1, &lower)) || FAILED(SafeArrayGetUBound(paths.Get(), 1, &upper))) {
        return false;
    }
    SafeArrayAccess access(paths.Get());
    const auto* items = static_cast<const VARIANT*>(access.Data());
    if (items == nullptr) {
        return false;
    }
    for (LONG i = 0; i <= upper - lower; ++i) {
        const VARIANT& item = items[i];
        if (item.vt != VT_BSTR || item.bstrVal == nullptr) {
            continue;
        }
        // Only a drive's root path names its letter: a recorder mounted in a folder of C: is
        // not drive C:.
        WCHAR letter = RootPathDriveLetter(item.bstrVal, SysStringLen(item.bstrVal));
        if (letter != 0 && (mask & DriveLetterBit(letter)) != 0) {
            bit = DriveLetterBit(letter);
            return true;
        }
    }
    return false;
}

bool CIMAPIEjectorImpV2::ShouldEjectMedia(IDiscRecorder2* recorder)
{
    ComPtr<IDiscFormat2Data> writer;
    if (FAILED(imapi2_.CreateInstance(CLSID_MsftDiscFormat2Data, IID_IDiscFormat2Data, writer.ReceiveVoid()))) {
        return true;
    }
    VARIANT_BOOL supported = VARIANT_TRUE;
    if (SUCCEEDED(writer->IsRecorderSupported(recorder, &supported)) && supported == VARIANT_FALSE) {
        return false;
    }
    if (FAILED(writer->put_Recorder(recorder))) {
        return true;
    }
    VARIANT_BOOL physically = VARIANT_TRUE;
    VARIANT_BOOL heuristically = VARIANT_TRUE;
    const HRESULT physicalResult = writer->get_MediaPhysicallyBlank(&physically);
    const HRESULT heuristicResult = writer->get_MediaHeuristicallyBlank(&heuristically);
    bool eject = true;
    if (SUCCEEDED(physicalResult) && SUCCEEDED(heuristicResult)) {
        eject = physically != VARIANT_FALSE || heuristically != VARIANT_FALSE;
    } else if ((SUCCEEDED(physicalResult) && physically == VARIANT_FALSE) ||
               (SUCCEEDED(heuristicResult) && heuristically == VARIANT_FALSE)) {
        eject = false;
    }
    if (physicalResult == E_IMAPI_RECORDER_MEDIA_NO_MEDIA || heuristicResult == E_IMAPI_RECORDER_MEDIA_NO_MEDIA) {
        eject = false;
    }
    writer->put_Recorder(nullptr);
    return eject;
}
