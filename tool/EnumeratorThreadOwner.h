#pragma once
//
//  What a dialog holds of its USB data enumerator thread: the state it shares with the thread
//  object, its own handle of the thread to wait on and the thread id to ask it to quit. The
//  thread object deletes itself when its thread ends, however it ends; the owner never touches
//  it, so nothing here depends on when that happens.
//
//  Ending: the owner's windows are unsubscribed first, then WM_QUIT is posted and the end is
//  awaited for at most 10 s. A thread that does not end in time is left to end by itself:
//  terminating it could leave the heap lock held and hang the tool. Windows builds only.
//
#include "tool/USBDataEnumeratorThread.h"

#include <vector>

class EnumeratorThreadOwner {
public:
    EnumeratorThreadOwner() = default;
    EnumeratorThreadOwner(const EnumeratorThreadOwner&) = delete;
    EnumeratorThreadOwner& operator=(const EnumeratorThreadOwner&) = delete;
    ~EnumeratorThreadOwner() { Stop(); }

    // USBDataEnumeratorThread::Start; FALSE when the thread could not be started.
    BOOL Start(DWORD infoFlags, DWORD storageOnly);
    bool IsRunning() const { return link_.shared != nullptr; }
    DWORD ThreadId() const { return link_.threadId; }

    void Subscribe(HWND window);
    BOOL RequestScan();
    // The published list; empty when no thread was started.
    void GetDevices(UsbStorageDeviceList& devices);

    // Ends the thread as described above; TRUE when it ended within the wait (or none ran).
    BOOL Stop(DWORD waitMs = kStopWaitMs);

    static constexpr DWORD kStopWaitMs = 10000;

private:
    USBDataEnumeratorThread::Link link_;
    std::vector<HWND> subscribed_;
};
