#pragma once
//
//  The setting tool's background enumeration of the attached USB devices. It keeps the last
//  result as the published list and posts WM_APP_DEVICES_CHANGED to its subscribed windows
//  after each pass. A scan may be asked for at any time; requests that arrive while a pass
//  runs are folded into one further pass, and none is lost: asking either posts the request
//  or marks a rescan in the same locked step in which a pass decides whether it is the last.
//
//  The thread object deletes itself when its thread ends, also when the thread ends by an
//  exception. What its owner reaches (the subscribers, the published list, the scan requests)
//  lives in a state that the object and the owner share, so it outlives whichever goes last;
//  Start hands the owner that state and its own handle of the thread before the thread runs.
//  Owners use EnumeratorThreadOwner. Windows builds only.
//
#include "classlib/CSyncObject.h"
#include "classlib/CWinThread.h"
#include "classlib/ScopedHandle.h"
#include "core/usb/UsbDeviceEnumerator.h"
#include "core/usb/UsbStorageDevice.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

typedef std::vector<UsbStorageDevice> UsbStorageDeviceList;

class USBDataEnumeratorThread : public CWinThread {
    DECLARE_DYNCREATE(USBDataEnumeratorThread)

public:
    // What the thread and its owner share.
    class Shared {
    public:
        Shared();
        Shared(const Shared&) = delete;
        Shared& operator=(const Shared&) = delete;

        // Adds the window (kept once) to those told of each new list.
        void Subscribe(HWND window);
        void Unsubscribe(HWND window);
        // Asks for a pass; TRUE when it was posted or folded into the running pass, FALSE
        // when no thread takes it (not yet able to, or ended).
        BOOL RequestScan();
        // Replaces devices with a copy of the published list.
        void GetDevices(UsbStorageDeviceList& devices);

    private:
        friend class USBDataEnumeratorThread;
        void PurgeSubscribers();
        void PublishDevices(const UsbStorageDeviceList& devices);
        void NotifySubscribers();

        DWORD threadId_ = 0;
        std::map<HWND, UINT> subscribers_;
        CSemaphore subscriberLock_;
        UsbStorageDeviceList published_;
        CSemaphore snapshotLock_;
        // Guards busy_ and rescan_ together.
        std::mutex scanStateLock_;
        int busy_ = 0;
        int rescan_ = 0;
    };

    // What an owner keeps of a started thread; all of it stays valid after the object is gone.
    struct Link {
        std::shared_ptr<Shared> shared;
        // The owner's own handle of the thread, to wait for its end.
        ScopedHandle thread;
        DWORD threadId = 0;

        void Reset()
        {
            shared.reset();
            thread.Reset();
            threadId = 0;
        }
    };

    USBDataEnumeratorThread();
    ~USBDataEnumeratorThread() override;

    // Creates the thread suspended, runs the first pass on the calling thread, fills link and
    // only then resumes the thread, whose queue already takes thread messages. FALSE (and an
    // empty link) when the thread cannot be created or its handle not duplicated; such a
    // thread is asked to quit. infoFlags is the enumeration's information mask; storageOnly
    // keeps only devices that hold a volume.
    static BOOL Start(DWORD infoFlags, DWORD storageOnly, Link& link);

    // One or more passes, until no request came in during the last one.
    void OnEnumerate();

    BOOL InitInstance() override;

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnScanMessage(WPARAM, LPARAM);

    std::shared_ptr<Shared> shared_;
    DWORD infoFlags_ = 0;
    DWORD storageOnly_ = 0;
};
