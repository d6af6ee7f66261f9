#pragma once
//
//  The service thread that keeps the CD/DVD ejector running for every user while CD/DVD
//  writing is blocked: every 15 seconds, counted from the end of the last check, it starts the
//  ejector once for each user who runs Explorer but no ejector at high integrity, with a
//  primary token made from that user's Explorer and raised to high integrity. It needs no
//  request from the rest of the service; the core only starts and stops it. Windows builds
//  only.
//
#include "classlib/CString.h"
#include "classlib/CWinThread.h"

class CWatchIMAPICDEjectorThread : public CWinThread {
    DECLARE_DYNCREATE(CWatchIMAPICDEjectorThread)

public:
    static constexpr UINT WM_APP_WATCH_TICK = WM_APP + 1;
    static constexpr UINT_PTR kTimerId = 1000;
    static constexpr UINT kCheckPeriod = 15000;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // One check: an ejector for every Explorer user who has none at high integrity.
    void EnsureEjectorRunning();

    // The ejector program's full path; set before the thread runs.
    void SetEjectorPath(const CString& path) { ejectorPath_ = path; }
    const CString& EjectorPath() const { return ejectorPath_; }

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnTimerTick(WPARAM, LPARAM);
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    // Starts the ejector with a high-integrity primary token copied from the process's.
    void StartEjectorAs(DWORD explorerProcessId);

    UINT_PTR timer_ = 0;
    CString ejectorPath_;
};

// The ejector program beside the service's own program file.
CString EjectorPathBesideService();

// Starts the watch when the ejector program lies in the service's folder; none otherwise, and
// then no thread was made at all. The caller owns the object and ends it with
// StopEjectorWatchThread.
CWatchIMAPICDEjectorThread* StartEjectorWatchThread();

// WM_QUIT, at most 10 seconds' wait, termination as the last resort; deletes the object.
void StopEjectorWatchThread(CWatchIMAPICDEjectorThread* thread);
