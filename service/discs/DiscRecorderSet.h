#pragma once
//
//  The disc recorders that the service holds open for its exclusive use while CD/DVD writing
//  is blocked (Windows XP and 2003), and the disc master service it takes them through. All
//  calls run on one thread that has initialised COM. Windows builds only.
//
#include "classlib/ComPtr.h"
#include "classlib/platform/ImapiV1.h"

#include <memory>
#include <vector>

class DiscRecorderSet {
public:
    DiscRecorderSet() = default;
    DiscRecorderSet(const DiscRecorderSet&) = delete;
    DiscRecorderSet& operator=(const DiscRecorderSet&) = delete;
    // Ends the exclusive use of every held recorder and lets go of the disc master.
    virtual ~DiscRecorderSet();

    // Whether a disc master can be created and opened, asked on a thread of its own apartment
    // state: COM is initialised for the question and uninitialised only if that succeeded.
    static bool DiscMasterAvailable();

    // Creates the disc master as a local server and opens it; a master held before is let go.
    HRESULT CreateMaster();
    bool HasMaster() const { return bool(master_); }

    // Takes every recorder that is doing nothing for exclusive use and keeps it; held ones
    // that were unplugged are closed and let go first. When the disc master's server has
    // ended, everything of that server is let go and a new master made; its recorders are
    // taken at the next pass.
    void LockIdleRecorders();
    size_t HeldCount() const { return held_.size(); }

    // Closes and lets go of every held recorder, then closes and lets go of the master.
    void ReleaseAll();

private:
    void ReleaseUnpluggedRecorders();

    struct Release {
        void operator()(IUnknown* object) const { object->Release(); }
    };
    using HeldRecorder = std::unique_ptr<IDiscRecorder, Release>;

    ComPtr<IDiscMaster> master_;
    std::vector<HeldRecorder> held_;
};
