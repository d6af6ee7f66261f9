#include "tool/EnumeratorThreadOwner.h"

BOOL EnumeratorThreadOwner::Start(DWORD infoFlags, DWORD storageOnly)
{
    if (IsRunning()) {
        return TRUE;
    }
    return USBDataEnumeratorThread::Start(infoFlags, storageOnly, link_);
}

void EnumeratorThreadOwner::Subscribe(HWND window)
{
    if (IsRunning()) {
        link_.shared->Subscribe(window);
        subscribed_.push_back(window);
    }
}

BOOL EnumeratorThreadOwner::RequestScan()
{
    return IsRunning() ? link_.shared->RequestScan() : FALSE;
}

void EnumeratorThreadOwner::GetDevices(UsbStorageDeviceList& devices)
{
    devices.clear();
    if (IsRunning()) {
        link_.shared->GetDevices(devices);
    }
}

BOOL EnumeratorThreadOwner::Stop(DWORD waitMs)
{
    if (!IsRunning()) {
        return TRUE;
    }
    // A thread that overruns the wait must tell the owner's windows nothing more.
    for (HWND window : subscribed_) {
        link_.shared->Unsubscribe(window);
    }
    subscribed_.clear();
    ::PostThreadMessageW(link_.threadId, WM_QUIT, 0, 0);
    const BOOL ended = WaitForSingleObject(link_.thread.Get(), waitMs) == WAIT_OBJECT_0;
    link_.Reset();
    return ended;
}
