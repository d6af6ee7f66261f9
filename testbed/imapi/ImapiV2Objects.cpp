//
//  The second generation: the in-process disc master, recorder and data writer. A recorder
//  object reaches a drive once InitializeDiscRecorder has named it by its unique id.
//
#include "classlib/platform/ImapiV2.h"
#include "testbed/imapi/SimulatedObject.h"
#include "testbed/machine/interpose.h"

namespace testbed {
namespace {

class DiscMaster2 final : public SimulatedDispatchObject<IDiscMaster2> {
public:
    using SimulatedDispatchObject::SimulatedDispatchObject;

    HRESULT STDMETHODCALLTYPE get__NewEnum(IEnumVARIANT**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* uniqueId) override
    {
        if (!uniqueId)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        const auto& drives = system_.Recorders();
        if (index < 0 || size_t(index) >= drives.size())
            return E_INVALIDARG;
        *uniqueId = system_.HandOutString(drives[size_t(index)]->uniqueId);
        return *uniqueId ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override
    {
        if (!count)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        *count = static_cast<LONG>(system_.Recorders().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsSupportedEnvironment(VARIANT_BOOL* supported) override
    {
        if (!supported)
            return E_POINTER;
        *supported = VARIANT_TRUE;
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override { return IsEqualIID(iid, IID_IDiscMaster2) || IsEqualIID(iid, IID_IDispatch); }
};

class DiscRecorder2 final : public SimulatedDispatchObject<IDiscRecorder2> {
public:
    using SimulatedDispatchObject::SimulatedDispatchObject;

    DiscRecorder* Drive() const { return drive_; }

    HRESULT STDMETHODCALLTYPE EjectMedia() override
    {
        if (!drive_)
            return E_UNEXPECTED;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        ++drive_->ejectAttempts;
        if (drive_->heldByOtherProgram)
            return E_IMAPI_RECORDER_LOCKED;
        if (FAILED(drive_->ejectResult))
            return drive_->ejectResult;
        drive_->media = DiscMedia::None;
        ++drive_->ejected;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseTray() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AcquireExclusiveAccess(VARIANT_BOOL, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReleaseExclusiveAccess() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DisableMcn() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableMcn() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitializeDiscRecorder(BSTR uniqueId) override
    {
        if (!uniqueId)
            return E_POINTER;
        if (drive_)
            return E_UNEXPECTED;
        drive_ = system_.FindByUniqueId(std::wstring(uniqueId, SysStringLen(uniqueId)));
        return drive_ ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_ActiveDiscRecorder(BSTR* uniqueId) override
    {
        if (!uniqueId)
            return E_POINTER;
        if (!drive_)
            return E_UNEXPECTED;
        *uniqueId = system_.HandOutString(drive_->uniqueId);
        return *uniqueId ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_VendorId(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ProductId(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ProductRevision(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_VolumeName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_VolumePathNames(SAFEARRAY** paths) override
    {
        if (!paths)
            return E_POINTER;
        if (!drive_)
            return E_UNEXPECTED;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        *paths = system_.HandOutPathArray(system_.MountPaths(*drive_));
        return *paths ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_DeviceCanLoadMedia(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LegacyDeviceNumber(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_SupportedFeaturePages(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CurrentFeaturePages(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_SupportedProfiles(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CurrentProfiles(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_SupportedModePages(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExclusiveAccessOwner(BSTR*) override { return E_NOTIMPL; }

private:
    bool Answers(REFIID iid) const override { return IsEqualIID(iid, IID_IDiscRecorder2) || IsEqualIID(iid, IID_IDispatch); }

    DiscRecorder* drive_ = nullptr;
};

// The simulated drive behind a recorder object, when the object is one of ours.
DiscRecorder* DriveOf(IDiscRecorder2* recorder)
{
    auto* ours = dynamic_cast<DiscRecorder2*>(recorder);
    return ours ? ours->Drive() : nullptr;
}

class DiscFormat2Data final : public SimulatedDispatchObject<IDiscFormat2Data> {
public:
    DiscFormat2Data(DiscSystem& system, LibraryFile* library) : SimulatedDispatchObject(system, library)
    {
        system.WriterCreated();
    }
    ~DiscFormat2Data() override
    {
        if (recorder_)
            recorder_->Release();
    }

    HRESULT STDMETHODCALLTYPE IsRecorderSupported(IDiscRecorder2* recorder, VARIANT_BOOL* supported) override
    {
        if (!supported)
            return E_POINTER;
        DiscRecorder* drive = DriveOf(recorder);
        if (!drive)
            return E_INVALIDARG;
        *supported = drive->dataWriterSupported ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsCurrentMediaSupported(IDiscRecorder2*, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MediaPhysicallyBlank(VARIANT_BOOL* blank) override { return Blank(blank); }
    HRESULT STDMETHODCALLTYPE get_MediaHeuristicallyBlank(VARIANT_BOOL* blank) override { return Blank(blank); }
    HRESULT STDMETHODCALLTYPE get_SupportedMediaTypes(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Recorder(IDiscRecorder2* recorder) override
    {
        if (recorder) {
            DiscRecorder* drive = DriveOf(recorder);
            if (!drive)
                return E_INVALIDARG;
            if (!drive->dataWriterSupported)
                return E_FAIL;
            recorder->AddRef();
        }
        if (recorder_)
            recorder_->Release();
        recorder_ = recorder;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Recorder(IDiscRecorder2** recorder) override
    {
        if (!recorder)
            return E_POINTER;
        *recorder = recorder_;
        if (recorder_)
            recorder_->AddRef();
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override
    {
        return IsEqualIID(iid, IID_IDiscFormat2Data) || IsEqualIID(iid, IID_IDiscFormat2) || IsEqualIID(iid, IID_IDispatch);
    }

    HRESULT Blank(VARIANT_BOOL* blank)
    {
        if (!blank)
            return E_POINTER;
        DiscRecorder* drive = DriveOf(recorder_);
        if (!drive)
            return E_UNEXPECTED;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        switch (drive->media) {
        case DiscMedia::None:
            return E_IMAPI_RECORDER_MEDIA_NO_MEDIA;
        case DiscMedia::Unreadable:
            return drive->mediaError;
        case DiscMedia::Blank:
            *blank = VARIANT_TRUE;
            return S_OK;
        case DiscMedia::Recorded:
            *blank = VARIANT_FALSE;
            return S_OK;
        }
        return E_UNEXPECTED;
    }

    IDiscRecorder2* recorder_ = nullptr;
};

// The classes' threading model admits a single-threaded apartment, where COM would make them.
// Made directly from the module, they belong on a thread in one: made elsewhere they would be
// called from threads their code does not expect. Here that creation is refused, so that a
// test sees it.
bool InSingleThreadedApartment()
{
    using GetApartmentType = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);
    static auto query = RealFunction<GetApartmentType>(L"ole32.dll", "CoGetApartmentType");
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return query && SUCCEEDED(query(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

class Imapi2ClassFactory final : public SimulatedObject<IClassFactory> {
public:
    Imapi2ClassFactory(DiscSystem& system, const CLSID& clsid, LibraryFile& library)
        : SimulatedObject(system, &library), clsid_(clsid), file_(library)
    {
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (!InSingleThreadedApartment())
            return RPC_E_WRONG_THREAD;
        IUnknown* created = NewSecondGenerationObject(system_, clsid_, &file_);
        HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    bool Answers(REFIID iid) const override { return IsEqualIID(iid, IID_IClassFactory); }

    CLSID clsid_;
    LibraryFile& file_;
};

}  // namespace

IUnknown* NewDiscMaster2(DiscSystem& system, LibraryFile* library)
{
    return new DiscMaster2(system, library);
}

IUnknown* NewDiscRecorder2(DiscSystem& system, LibraryFile* library)
{
    return new DiscRecorder2(system, library);
}

IUnknown* NewDiscFormat2Data(DiscSystem& system, LibraryFile* library)
{
    return new DiscFormat2Data(system, library);
}

IUnknown* NewSecondGenerationObject(DiscSystem& system, REFCLSID clsid, LibraryFile* library)
{
    if (IsEqualCLSID(clsid, CLSID_MsftDiscMaster2))
        return NewDiscMaster2(system, library);
    if (IsEqualCLSID(clsid, CLSID_MsftDiscRecorder2))
        return NewDiscRecorder2(system, library);
    if (IsEqualCLSID(clsid, CLSID_MsftDiscFormat2Data))
        return NewDiscFormat2Data(system, library);
    return nullptr;
}

HRESULT WINAPI Imapi2DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    DiscSystem* system = DiscSystem::Current();
    if (!system || !(IsEqualCLSID(clsid, CLSID_MsftDiscMaster2) || IsEqualCLSID(clsid, CLSID_MsftDiscRecorder2) ||
                     IsEqualCLSID(clsid, CLSID_MsftDiscFormat2Data)))
        return CLASS_E_CLASSNOTAVAILABLE;
    if (!InSingleThreadedApartment())
        return RPC_E_WRONG_THREAD;
    auto* factory = new Imapi2ClassFactory(*system, clsid, system->imapi2);
    HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

}  // namespace testbed
