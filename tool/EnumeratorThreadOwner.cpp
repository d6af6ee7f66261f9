#include "tool/EnumeratorThreadOwner.h"

BOOL EnumeratorThreadOwner::Start(DWORD infoFlags, DWORD storageOnly)
{
    if (thread_ != nullptr) {
        return TRUE;
    }
    USBDataEnumeratorThread* thread = USBDataEnumeratorThread::Start(infoFlags, storageOnly);
    if (thread == nullptr) {
        return FALSE;
    }
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
        // Without a handle of our own the end cannot be awaited safely; ask it to quit now.
        ::PostThreadMessageW(thread->m_nThreadID, WM_QUIT, 0, 0);
        return FALSE;
    }
    waitHandle_.Reset(copy);
    threadId_ = thread->m_nThreadID;
    thread_ = thread;
    return TRUE;
}

void EnumeratorThreadOwner::Subscribe(HWND window)
{
    if (thread_ != nullptr) {
        thread_->Subscribe(window);
        subscribed_.push_back(window);
    }
}

BOOL EnumeratorThreadOwner::RequestScan()
{
    return thread_ != nullptr ? thread_->RequestScan() : FALSE;
}

void EnumeratorThreadOwner::GetDevices(UsbStorageDeviceList& devices)
{
    devices.clear();
    if (thread_ != nullptr) {
        thread_->GetDevices(devices);
    }
}

BOOL EnumeratorThreadOwner::Stop(DWORD waitMs)
{
    if (thread_ == nullptr) {
        return TRUE;
    }
    // While WM_QUIT is not yet posted the object is alive: the last moment it may be touched.
    for (HWND window : subscribed_) {
        thread_->Unsubscribe(window);
    }
    subscribed_.clear();
    thread_ = nullptr;
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    const BOOL ended = WaitForSingleObject(waitHandle_.Get(), waitMs) == WAIT_OBJECT_0;
    waitHandle_.Reset();
    threadId_ = 0;
    return ended;
}
