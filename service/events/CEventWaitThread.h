#pragma once
//
//  The volume-event thread: waits on the named event that the driver signals after it
//  attaches to a volume and tells its observer (the service core), which asks the enforcement
//  thread for a pass. Windows builds only.
//
#include "classlib/CWinThread.h"
#include "classlib/ScopedHandle.h"
#include "service/pipe/Subject.h"

#include <atomic>

namespace Quelmar {

#define QUELMAR_VOLUME_EVENT_NAME L"{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"

class CEventWaitThread : public CWinThread, public Subject {
    DECLARE_DYNCREATE(CEventWaitThread)

public:
    CEventWaitThread();

    // The wait loop; once the stop flag ends it, TRUE enters the message loop, which the
    // stop's WM_QUIT ends.
    BOOL InitInstance() override;

    // Creates (or opens) the named event, trying again every 10 ms for at most the limit.
    bool CreateVolumeEvent(DWORD timeoutMilliseconds);
    void SetStopFlag() { stopFlag_ = 1; }
    HANDLE VolumeEvent() const { return event_.Get(); }

private:
    ScopedHandle event_;
    std::atomic<LONG> stopFlag_{0};
};

// The running thread with the observer attached, or null when the event cannot be made within
// 10 s (the service then runs without volume events).
CEventWaitThread* CreateVolumeEventThread(Observer* observer);

// Ends the wait loop and the thread: at most 10 s, then the thread is terminated. The object
// is deleted unless it had to be terminated.
void StopVolumeEventThread(CEventWaitThread* thread);

}  // namespace Quelmar
