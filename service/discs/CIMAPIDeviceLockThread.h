#pragma once
//
//  The service thread that holds every idle disc recorder for its exclusive use while CD/DVD
//  writing is blocked, on Windows XP and 2003, where burning goes through the disc master
//  service. It takes recorders at start, after device events and every 5 seconds; requests
//  that arrive during a pass fold into one further pass. Windows builds only.
//
#include "classlib/CWinThread.h"
#include "classlib/ScopedCoInitialize.h"
#include "classlib/ScopedHandle.h"
#include "service/discs/DiscRecorderSet.h"

#include <atomic>
#include <optional>

class CIMAPIDeviceLockThread : public CWinThread {
    DECLARE_DYNCREATE(CIMAPIDeviceLockThread)

public:
    // A pass request (the timer's, or one from the thread itself) and the pass. The pass's
    // wParam tells who asked: 0 the service core, 1 the start, 2 a request, 3 a folded request.
    static constexpr UINT WM_APP_LOCK_REQUEST = WM_APP + 1;
    static constexpr UINT WM_APP_LOCK_NOW = WM_APP + 2;
    static constexpr UINT kPassPeriod = 5000;

    CIMAPIDeviceLockThread();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // From another thread (a device event): asks for a pass unless one is queued or running.
    void RequestPass();
    bool Stopping() const { return stop_ != 0; }
    bool HasSemaphore() const { return requestSemaphore_.IsValid(); }

    // Under the semaphore: counts a request, true when none was counted before; takes the
    // count, true when more than the one that started the pass came.
    bool IncrementRequests();
    bool TakeRequests();

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnRequest(WPARAM wParam, LPARAM lParam);
    void OnLock(WPARAM wParam, LPARAM lParam);
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

    ScopedHandle requestSemaphore_;
    LONG requests_ = 0;
    std::atomic<LONG> stop_{0};
    UINT_PTR timer_ = 0;
    std::optional<ScopedCoInitialize> com_;
    DiscRecorderSet recorders_;
};

// Starts the thread when the disc master service can be created; none otherwise. The caller
// owns the thread object and ends it with StopDiscRecorderLockThread.
CIMAPIDeviceLockThread* StartDiscRecorderLockThread();

// Posts WM_QUIT, waits up to 10 seconds for the thread, terminates it when it does not end,
// and deletes the object. Every recorder the thread held is closed by its ExitInstance.
void StopDiscRecorderLockThread(CIMAPIDeviceLockThread* thread);
