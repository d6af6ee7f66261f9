#pragma once
//
//  The service's enforcement thread: holds the driver's control device open, runs a pass
//  (exempt itself, enumerate, decide, send) when a device changes, the setting changes or 60
//  seconds have passed, and answers the pipe thread's three synchronous requests. Windows
//  builds only.
//
#include "classlib/CWinThread.h"
#include "service/decision/QuelmarDecision.h"

#include <mutex>

namespace Quelmar {

class ThreadRequest;

class QuelmarThread : public CWinThread, public QuelmarDecision {
    DECLARE_DYNCREATE(QuelmarThread)

public:
    QuelmarThread();

    BOOL InitInstance() override;
    int Run() override;
    int ExitInstance() override;

    // Mode 0 and an empty table to the driver, then Explorer is told of every volume that the
    // last table did not allow. On the thread as it exits, or by whoever lets go of a thread that
    // ended without its ExitInstance.
    void ReleaseDriverTable();

    // Run on the requesting thread; each waits at most 10 s for the answer, else 0.
    LONG RequestAddExemptProcess(DWORD processId);
    LONG RequestRemoveExemptProcess(DWORD processId);
    // The found flag; the state is written only when found.
    LONG RequestQueryDriveState(WCHAR driveLetter, LONG& state);

    // How long a requester waits for the thread's answer.
    static const DWORD RequestLimit = 10000;
    // The period of the re-evaluation without events.
    static const UINT RecheckPeriod = 60000;

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnRecheckTimer(WPARAM timerId, LPARAM);
    void OnEvaluate(WPARAM, LPARAM);
    void OnDeviceEvent(WPARAM, LPARAM);
    void OnSettingsChanged(WPARAM, LPARAM);
    void OnAddExemptProcess(WPARAM block, LPARAM);
    void OnRemoveExemptProcess(WPARAM block, LPARAM);
    void OnQueryDriveState(WPARAM block, LPARAM);
    void OnSetExitCode(WPARAM releaseFlag, LPARAM);

    // The service core's current setting becomes the thread's.
    void TakeCurrentSetting();

    // Enumerates volumes and USB storage with the service's own process exempt at the driver.
    void Enumerate();
    // Posts a request while the thread still takes them; FALSE when it no longer does.
    BOOL PostRequest(ThreadRequest& request, UINT message);
    // On every way out of the thread: no request is posted any more, and those still queued are
    // answered, so that no requester waits for them and no block dies with the queue.
    void StopTakingRequests();
    // Makes Explorer see every volume released after a stop that released the table.
    void RemountAfterStop(const VolumePolicyMap& released, const std::vector<VolumeRecord>& volumes);

    static void CALLBACK RecheckTimerProc(HWND, UINT, UINT_PTR timerId, DWORD);

    UINT_PTR timerId_ = 0;
    LONG pendingChanges_ = 0;
    LONG releaseFlag_ = 0;
    // The Windows volumes or a new setting could not be taken yet; the next pass tries again.
    bool systemVolumesMissing_ = true;
    bool settingOutdated_ = true;
    // Guards the check and the post of a request against the thread's closing of its queue.
    std::mutex requestsLock_;
    bool takingRequests_ = true;
};

// Opens the driver within 1000 ms and starts the thread; null when either fails (the driver
// object is then closed and deleted). The thread object is the caller's to stop.
QuelmarThread* StartQuelmarThread();

// Asks the thread to end, with the release flag (1: the driver gets mode 0 and an empty table
// and Explorer is told), waits at most 30 s, then terminates it. A terminated thread leaves
// the driver reset to mode 0. A thread that had ended already, after a failure that no handler
// expected, left its table to nobody: it is released as with flag 1, whatever the flag. The
// thread object is deleted unless it had to be terminated.
void StopQuelmarThread(QuelmarThread* thread, LONG releaseFlag);

// Starts a thread in place of one that ended by itself, after a failure that no handler
// expected, and deletes the ended one. The new thread takes over the driver handle that the
// ended one left open, so the table in force stays until its first pass sends the next, and
// that table with its volumes, so that the pass tells Explorer of the volumes whose state it
// changes, as the ended thread's next pass would have. Null when no thread could start: the
// ended one is then left to the caller, still holding the handle and its table, so that a later
// try can replace it or a stop can release the table.
QuelmarThread* ReplaceEndedQuelmarThread(QuelmarThread* ended);

}  // namespace Quelmar
