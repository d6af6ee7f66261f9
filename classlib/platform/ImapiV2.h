#pragma once
//
//  The disc-recording interfaces of the platform's second generation (in-process, Windows
//  Vista and later), which mingw-w64 does not declare. The methods stand in the order of
//  their published vtable slots. IDiscFormat2Data is declared up to the last slot this code
//  base calls; nothing here reaches past it. Windows builds only.
//
#include <windows.h>
#include <oaidl.h>
#include <objbase.h>

static const CLSID CLSID_MsftDiscMaster2 = {0x2735412E, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const CLSID CLSID_MsftDiscRecorder2 = {0x2735412D, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const CLSID CLSID_MsftDiscFormat2Data = {0x2735412A, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const IID IID_IDiscMaster2 = {0x27354130, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const IID IID_IDiscRecorder2 = {0x27354133, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const IID IID_IDiscFormat2 = {0x27354152, 0x8F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
static const IID IID_IDiscFormat2Data = {0x27354153, 0x9F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};

// There is no media in the device.
const HRESULT E_IMAPI_RECORDER_MEDIA_NO_MEDIA = static_cast<HRESULT>(0xC0AA0202L);
// Another program holds the device for its exclusive use.
const HRESULT E_IMAPI_RECORDER_LOCKED = static_cast<HRESULT>(0xC0AA0210L);

struct IDiscMaster2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IEnumVARIANT** items) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* uniqueId) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsSupportedEnvironment(VARIANT_BOOL* supported) = 0;
};

struct IDiscRecorder2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE EjectMedia() = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseTray() = 0;
    virtual HRESULT STDMETHODCALLTYPE AcquireExclusiveAccess(VARIANT_BOOL force, BSTR clientName) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseExclusiveAccess() = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableMcn() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableMcn() = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializeDiscRecorder(BSTR uniqueId) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ActiveDiscRecorder(BSTR* uniqueId) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VendorId(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductId(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductRevision(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VolumeName(BSTR* value) = 0;
    // A vector of VARIANTs, each a BSTR mount path ("D:\", "C:\mnt\dvd\").
    virtual HRESULT STDMETHODCALLTYPE get_VolumePathNames(SAFEARRAY** paths) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DeviceCanLoadMedia(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LegacyDeviceNumber(LONG* number) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedFeaturePages(SAFEARRAY** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentFeaturePages(SAFEARRAY** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedProfiles(SAFEARRAY** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentProfiles(SAFEARRAY** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedModePages(SAFEARRAY** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExclusiveAccessOwner(BSTR* value) = 0;
};

struct IDiscFormat2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE IsRecorderSupported(IDiscRecorder2* recorder, VARIANT_BOOL* supported) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsCurrentMediaSupported(IDiscRecorder2* recorder, VARIANT_BOOL* supported) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MediaPhysicallyBlank(VARIANT_BOOL* blank) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MediaHeuristicallyBlank(VARIANT_BOOL* blank) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedMediaTypes(SAFEARRAY** types) = 0;
};

struct IDiscFormat2Data : public IDiscFormat2 {
    virtual HRESULT STDMETHODCALLTYPE put_Recorder(IDiscRecorder2* recorder) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Recorder(IDiscRecorder2** recorder) = 0;
};
