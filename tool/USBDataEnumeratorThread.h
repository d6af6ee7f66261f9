#pragma once
//
//  The setting tool's background enumeration of the attached USB devices. It keeps the last
//  result as the published list and posts WM_APP_DEVICES_CHANGED to its subscribed windows
//  after each pass. A scan may be asked for at any time; requests that arrive while a pass
//  runs are folded into one further pass, and none is lost: asking either posts the request
//  or marks a rescan in the same locked step in which a pass decides whether it is the last.
//  The object deletes itself when its thread ends; owners use EnumeratorThreadOwner.
//  Windows builds only.
//
#include "classlib/CSyncObject.h"
#include "classlib/CWinThread.h"
#include "core/usb/UsbDeviceEnumerator.h"
#include "core/usb/UsbStorageDevice.h"

#include <map>
#include <mutex>
#include <vector>

typedef std::vector<UsbStorageDevice> UsbStorageDeviceList;

class USBDataEnumeratorThread : public CWinThread {
    DECLARE_DYNCREATE(USBDataEnumeratorThread)

public:
    USBDataEnumeratorThread();
    ~USBDataEnumeratorThread() override;

    // Creates the thread suspended, runs the first pass on the calling thread, resumes it and
    // returns the object, whose thread already takes thread messages; null when the thread
    // cannot be created. infoFlags is the enumeration's information mask; storageOnly keeps
    // only devices that hold a volume.
    static USBDataEnumeratorThread* Start(DWORD infoFlags, DWORD storageOnly);

    // Adds the window (kept once) to those told of each new list.
    void Subscribe(HWND window);
    void Unsubscribe(HWND window);
    // Asks for a pass; TRUE when it was posted or folded into the running pass.
    BOOL RequestScan();
    // Replaces devices with a copy of the published list.
    void GetDevices(UsbStorageDeviceList& devices);

    // One or more passes, until no request came in during the last one.
    void OnEnumerate();

    BOOL InitInstance() override;

protected:
    ThreadMessageMap GetThreadMessageMap() const override;

private:
    void OnScanMessage(WPARAM, LPARAM);
    void PurgeSubscribers();
    void PublishDevices(const UsbStorageDeviceList& devices);
    void NotifySubscribers();

    std::map<HWND, UINT> subscribers_;
    CSemaphore subscriberLock_;
    UsbStorageDeviceList published_;
    CSemaphore snapshotLock_;
    // Guards busy_ and rescan_ together.
    std::mutex scanStateLock_;
    int busy_ = 0;
    int rescan_ = 0;
    DWORD infoFlags_ = 0;
    DWORD storageOnly_ = 0;
};
