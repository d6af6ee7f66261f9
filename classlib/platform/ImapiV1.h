#pragma once
//
//  The disc-recording interfaces of the platform's first generation (the disc master service
//  of Windows XP and 2003), which mingw-w64 does not declare. The methods stand in the order
//  of their published vtable slots; the constants carry their published values. Windows builds
//  only.
//
#include <windows.h>
#include <objbase.h>
#include <propidl.h>

// {520CCA63-51A5-11D3-9144-00104BA11C5E}: the disc master class, a local server.
static const CLSID CLSID_MSDiscMasterObj = {0x520CCA63, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
static const IID IID_IDiscMaster = {0x520CCA62, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
static const IID IID_IDiscRecorder = {0x85AC9776, 0xCA88, 0x4CF2, {0x89, 0x4E, 0x09, 0x59, 0x8C, 0x07, 0x8A, 0x41}};
static const IID IID_IEnumDiscRecorders = {0x9B1921E1, 0x54AC, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};

// Recorder types (GetRecorderType), media flags (QueryMediaType) and recorder states.
const long RECORDER_CDR = 0x1;
const long RECORDER_CDRW = 0x2;
const long MEDIA_CDDA_CDROM = 1;
const long MEDIA_BLANK = 0x1;
const long MEDIA_RW = 0x2;
const long MEDIA_WRITABLE = 0x4;
const ULONG RECORDER_DOING_NOTHING = 0;
const ULONG RECORDER_OPENED = 0x1;
const ULONG RECORDER_BURNING = 0x2;

// Results of the disc master service.
const HRESULT IMAPI_E_NOTOPENED = static_cast<HRESULT>(0x8004020BL);
const HRESULT IMAPI_E_MEDIUM_NOTPRESENT = static_cast<HRESULT>(0x8004020FL);
const HRESULT IMAPI_E_DEVICE_NOTACCESSIBLE = static_cast<HRESULT>(0x80040212L);
const HRESULT IMAPI_E_DEVICE_NOTPRESENT = static_cast<HRESULT>(0x80040213L);
const HRESULT IMAPI_E_ALREADYOPEN = static_cast<HRESULT>(0x80040222L);

// The RPC server is unavailable: the disc master's server process has ended.
const HRESULT kDiscMasterServerGone = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

struct IDiscRecorder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(byte* uniqueId, ULONG idSize, ULONG driveNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderGUID(byte* uniqueId, ULONG bufferSize, ULONG* requiredSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderType(long* typeCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayNames(BSTR* vendorId, BSTR* productId, BSTR* revision) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBasePnPID(BSTR* basePnpId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPath(BSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderProperties(IPropertyStorage** properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecorderProperties(IPropertyStorage* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderState(ULONG* stateFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenExclusive() = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryMediaType(long* mediaType, long* mediaFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryMediaInfo(byte* sessions, byte* lastTrack, ULONG* startAddress,
                                                     ULONG* nextWritable, ULONG* freeBlocks) = 0;
    virtual HRESULT STDMETHODCALLTYPE Eject() = 0;
    virtual HRESULT STDMETHODCALLTYPE Erase(boolean fullErase) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct IEnumDiscRecorders : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IDiscRecorder** recorders, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumDiscRecorders** copy) = 0;
};

// Formats and progress sinks are never used here; they keep their slots as plain pointers.
struct IEnumDiscMasterFormats;
struct IDiscMasterProgressEvents;

struct IDiscMaster : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDiscMasterFormats(IEnumDiscMasterFormats** formats) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActiveDiscMasterFormat(LPIID format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveDiscMasterFormat(REFIID format, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDiscRecorders(IEnumDiscRecorders** recorders) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActiveDiscRecorder(IDiscRecorder** recorder) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveDiscRecorder(IDiscRecorder* recorder) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearFormatContent() = 0;
    virtual HRESULT STDMETHODCALLTYPE ProgressAdvise(IDiscMasterProgressEvents* events, UINT_PTR* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE ProgressUnadvise(UINT_PTR cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordDisc(boolean simulate, boolean ejectAfterBurn) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};
