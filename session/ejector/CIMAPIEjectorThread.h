#pragma once
//
//  The ejector's worker thread: it ejects blank media from every drive when it starts, again
//  from the drives the window reports media arrivals for, and retries the drives whose
//  ejection failed every 5 seconds, all together, for as long as they fail. The thread owns
//  its COM apartment, the ejector, the retry timer and the pending mask, so nothing is locked.
//  Windows builds only.
//
#include "classlib/CWinThread.h"
#include "classlib/ScopedCoInitialize.h"
#include "session/ejector/CIMAPIEjector.h"

#include <optional>

class CIMAPIEjectorThread : public CWinThread {
    DECLARE_DYNCREATE(CIMAPIEjectorThread)

public:
    // wParam: the unit mask of the drives that received media.
    static constexpr UINT WM_APP_EJECT = 0x8001;
    // Posted by the retry timer.
    static constexpr UINT WM_APP_EJECT_RETRY = 0x8002;
    static constexpr UINT_PTR kRetryTimerId = 1000;
    static constexpr UINT kRetryPeriod = 5000;
    // How long the owner waits for the thread to end before it terminates it.
    static constexpr DWORD kStopWait = 10000;

    BOOL InitInstance() override;
    int ExitInstance() override;

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnEject(WPARAM mask, LPARAM);
    void OnRetry(WPARAM, LPARAM);
    // Adds the drives to the next retry, starting its timer when none runs.
    void ScheduleRetry(DWORD mask);
    static void CALLBACK OnRetryTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

    UINT_PTR retryTimer_ = 0;
    DWORD pending_ = 0;
    // Declared before the ejector: the apartment must outlive what the ejector made in it.
    std::optional<ScopedCoInitialize> com_;
    CIMAPIEjector ejector_;
};

// Starts the thread, suspended and then resumed, when an ejector implementation can be
// created; none otherwise. The caller owns the object and ends it with StopEjectorThread.
CIMAPIEjectorThread* StartEjectorThread();

// WM_QUIT, at most 10 seconds' wait, termination as the last resort; deletes the object.
void StopEjectorThread(CIMAPIEjectorThread* thread);
