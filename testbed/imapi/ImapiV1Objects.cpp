//
//  The first generation: the disc master of a local server, its recorder enumerator and its
//  recorders. Each object belongs to the server process that made it; once that server has
//  ended (DiscSystem::RestartMasterServer) the object answers only that the server is gone.
//
#include "classlib/platform/ImapiV1.h"
#include "testbed/imapi/SimulatedObject.h"

#include <algorithm>
#include <vector>

namespace testbed {
namespace {

template <typename Interface>
class ServerObject : public SimulatedObject<Interface> {
public:
    explicit ServerObject(DiscSystem& system) : SimulatedObject<Interface>(system), generation_(system.ServerGeneration()) {}

protected:
    bool Gone() const { return generation_ != this->system_.ServerGeneration(); }
    unsigned generation_;
};

class RecorderV1 final : public ServerObject<IDiscRecorder> {
public:
    RecorderV1(DiscSystem& system, DiscRecorder& drive)
        : ServerObject(system), drive_(drive), plugCycle_(drive.plugCycle)
    {
    }
    ~RecorderV1() override
    {
        // The server ends the exclusive use of a recorder object whose last reference is gone.
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        if (!Gone() && drive_.exclusiveHolder == this)
            drive_.exclusiveHolder = nullptr;
    }

    HRESULT STDMETHODCALLTYPE Init(byte*, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRecorderGUID(byte*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRecorderType(long* typeCode) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!typeCode)
            return E_POINTER;
        *typeCode = drive_.recorderType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayNames(BSTR*, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBasePnPID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPath(BSTR* path) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!path)
            return E_POINTER;
        *path = system_.HandOutString(drive_.devicePath);
        return *path ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetRecorderProperties(IPropertyStorage**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRecorderProperties(IPropertyStorage*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRecorderState(ULONG* state) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (Removed())
            return IMAPI_E_DEVICE_NOTPRESENT;
        if (!state)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        if (drive_.burning)
            *state = RECORDER_BURNING;
        else if (drive_.heldByOtherProgram || drive_.exclusiveHolder)
            *state = RECORDER_OPENED;
        else
            *state = RECORDER_DOING_NOTHING;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenExclusive() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (Removed())
            return IMAPI_E_DEVICE_NOTPRESENT;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        if (drive_.exclusiveHolder == this)
            return S_OK;
        if (drive_.burning || drive_.heldByOtherProgram || drive_.exclusiveHolder)
            return IMAPI_E_DEVICE_NOTACCESSIBLE;
        drive_.exclusiveHolder = this;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryMediaType(long* mediaType, long* mediaFlags) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!mediaType || !mediaFlags)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        if (drive_.exclusiveHolder != this)
            return IMAPI_E_NOTOPENED;
        switch (drive_.media) {
        case DiscMedia::None:
            return IMAPI_E_MEDIUM_NOTPRESENT;
        case DiscMedia::Unreadable:
            return drive_.mediaError;
        case DiscMedia::Blank:
            *mediaType = MEDIA_CDDA_CDROM;
            *mediaFlags = MEDIA_BLANK | MEDIA_RW | MEDIA_WRITABLE;
            return S_OK;
        case DiscMedia::Recorded:
            *mediaType = MEDIA_CDDA_CDROM;
            *mediaFlags = 0;
            return S_OK;
        }
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE QueryMediaInfo(byte*, byte*, ULONG*, ULONG*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Eject() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        ++drive_.ejectAttempts;
        if (drive_.exclusiveHolder != this)
            return IMAPI_E_NOTOPENED;
        if (FAILED(drive_.ejectResult))
            return drive_.ejectResult;
        drive_.media = DiscMedia::None;
        ++drive_.ejected;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Erase(boolean) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (Removed())
            return IMAPI_E_DEVICE_NOTPRESENT;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        if (drive_.exclusiveHolder != this) {
            ++drive_.closesWithoutOpen;
            return IMAPI_E_NOTOPENED;
        }
        drive_.exclusiveHolder = nullptr;
        ++drive_.closes;
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override
    {
        return IsEqualIID(iid, IID_IDiscRecorder) && !drive_.refusesSecondReference;
    }
    bool Removed() const
    {
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        return !drive_.present || drive_.plugCycle != plugCycle_;
    }

    DiscRecorder& drive_;
    unsigned plugCycle_;
};

class RecorderEnumV1 final : public ServerObject<IEnumDiscRecorders> {
public:
    RecorderEnumV1(DiscSystem& system, std::vector<DiscRecorder*> drives, size_t next = 0)
        : ServerObject(system), drives_(std::move(drives)), next_(next)
    {
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IDiscRecorder** recorders, ULONG* fetched) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!recorders || (count > 1 && !fetched))
            return E_POINTER;
        ULONG taken = 0;
        for (; taken < count && next_ < drives_.size(); ++taken, ++next_)
            recorders[taken] = new RecorderV1(system_, *drives_[next_]);
        if (fetched)
            *fetched = taken;
        return taken == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        next_ = std::min<size_t>(drives_.size(), next_ + count);
        return next_ < drives_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumDiscRecorders** copy) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!copy)
            return E_POINTER;
        *copy = new RecorderEnumV1(system_, drives_, next_);
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override { return IsEqualIID(iid, IID_IEnumDiscRecorders); }

    std::vector<DiscRecorder*> drives_;
    size_t next_;
};

class DiscMasterV1 final : public ServerObject<IDiscMaster> {
public:
    using ServerObject::ServerObject;

    HRESULT STDMETHODCALLTYPE Open() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        opened_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumDiscMasterFormats(IEnumDiscMasterFormats**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetActiveDiscMasterFormat(LPIID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveDiscMasterFormat(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDiscRecorders(IEnumDiscRecorders** recorders) override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!recorders)
            return E_POINTER;
        if (!opened_)
            return IMAPI_E_NOTOPENED;
        std::lock_guard<std::recursive_mutex> hold(system_.Lock());
        std::vector<DiscRecorder*> drives;
        for (auto& drive : system_.Recorders())
            if (drive->present)
                drives.push_back(drive.get());
        *recorders = new RecorderEnumV1(system_, std::move(drives));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetActiveDiscRecorder(IDiscRecorder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveDiscRecorder(IDiscRecorder*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearFormatContent() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProgressAdvise(IDiscMasterProgressEvents*, UINT_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProgressUnadvise(UINT_PTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RecordDisc(boolean, boolean) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override
    {
        if (Gone())
            return kDiscMasterServerGone;
        if (!opened_)
            return IMAPI_E_NOTOPENED;
        opened_ = false;
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override { return IsEqualIID(iid, IID_IDiscMaster); }

    bool opened_ = false;
};

}  // namespace

IUnknown* NewDiscMasterV1(DiscSystem& system)
{
    return new DiscMasterV1(system);
}

}  // namespace testbed
