#include "service/discs/DiscRecorderSet.h"

#include "classlib/ScopedCoInitialize.h"

DiscRecorderSet::~DiscRecorderSet()
{
    ReleaseAll();
}

bool DiscRecorderSet::DiscMasterAvailable()
{
    ScopedCoInitialize com;
    DiscRecorderSet probe;
    return SUCCEEDED(probe.CreateMaster());
}

HRESULT DiscRecorderSet::CreateMaster()
{
    master_.Reset();
    HRESULT hr = CoCreateInstance(CLSID_MSDiscMasterObj, nullptr, CLSCTX_LOCAL_SERVER, IID_IDiscMaster, master_.ReceiveVoid());
    if (SUCCEEDED(hr)) {
        hr = master_->Open();
    }
    if (FAILED(hr)) {
        master_.Reset();
    }
    return hr;
}

void DiscRecorderSet::ReleaseUnpluggedRecorders()
{
    // An unplugged recorder's object stays valid and answers that its device is not present;
    // kept, it would be one more reference for every time the drive is plugged in again.
    for (auto recorder = held_.begin(); recorder != held_.end();) {
        ULONG state = RECORDER_OPENED;
        if ((*recorder)->GetRecorderState(&state) == IMAPI_E_DEVICE_NOTPRESENT) {
            (*recorder)->Close();
            recorder = held_.erase(recorder);
        } else {
            ++recorder;
        }
    }
}

void DiscRecorderSet::LockIdleRecorders()
{
    if (!master_) {
        return;
    }
    ReleaseUnpluggedRecorders();
    ComPtr<IEnumDiscRecorders> recorders;
    HRESULT last = master_->EnumDiscRecorders(recorders.Receive());
    if (SUCCEEDED(last) && recorders) {
        for (;;) {
            ComPtr<IDiscRecorder> recorder;
            ULONG fetched = 0;
            last = recorders->Next(1, recorder.Receive(), &fetched);
            if (last != S_OK || !recorder) {
                break;
            }
            // A recorder held already, burning, or opened by another program is not idle.
            ULONG state = RECORDER_OPENED;
            last = recorder->GetRecorderState(&state);
            if (SUCCEEDED(last) && state == RECORDER_DOING_NOTHING) {
                last = recorder->OpenExclusive();
                IDiscRecorder* kept = nullptr;
                if (SUCCEEDED(last)) {
                    if (SUCCEEDED(recorder->QueryInterface(IID_IDiscRecorder, reinterpret_cast<void**>(&kept)))) {
                        held_.emplace_back(kept);
                    } else {
                        // Not kept, so it would never be closed: its exclusive use ends now.
                        recorder->Close();
                    }
                }
            }
        }
    }
    if (last == kDiscMasterServerGone) {
        // The server's holds ended with it; what is left here are proxies to nothing, which
        // still owe their Release.
        held_.clear();
        recorders.Reset();
        CreateMaster();
    }
}

void DiscRecorderSet::ReleaseAll()
{
    for (HeldRecorder& recorder : held_) {
        recorder->Close();
    }
    held_.clear();
    if (master_) {
        master_->Close();
        master_.Reset();
    }
}
