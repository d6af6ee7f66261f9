#include "tool/USBDataEnumeratorThread.h"

#include "tool/ToolMessages.h"

IMPLEMENT_DYNCREATE(USBDataEnumeratorThread, CWinThread)

USBDataEnumeratorThread::USBDataEnumeratorThread() : subscriberLock_(1, 1), snapshotLock_(1, 1)
{
}

USBDataEnumeratorThread::~USBDataEnumeratorThread() = default;

USBDataEnumeratorThread* USBDataEnumeratorThread::Start(DWORD infoFlags, DWORD storageOnly)
{
    CWinThread* created = AfxBeginThread(RUNTIME_CLASS(USBDataEnumeratorThread), THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED);
    USBDataEnumeratorThread* thread = static_cast<USBDataEnumeratorThread*>(created);
    if (thread == nullptr) {
        return nullptr;
    }
    thread->infoFlags_ = infoFlags;
    thread->storageOnly_ = storageOnly;
    thread->OnEnumerate();
    thread->ResumeThread();
    return thread;
}

BOOL USBDataEnumeratorThread::InitInstance()
{
    return TRUE;
}

ThreadMessageMap USBDataEnumeratorThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_DEVICES_CHANGED, &USBDataEnumeratorThread::OnScanMessage),
    };
    return MakeThreadMessageMap(entries);
}

void USBDataEnumeratorThread::OnScanMessage(WPARAM, LPARAM)
{
    OnEnumerate();
}

void USBDataEnumeratorThread::Subscribe(HWND window)
{
    CSingleLock lock(&subscriberLock_, TRUE);
    subscribers_.emplace(window, WM_APP_DEVICES_CHANGED);
}

void USBDataEnumeratorThread::Unsubscribe(HWND window)
{
    CSingleLock lock(&subscriberLock_, TRUE);
    subscribers_.erase(window);
}

BOOL USBDataEnumeratorThread::RequestScan()
{
    std::lock_guard<std::mutex> guard(scanStateLock_);
    if (busy_) {
        // The running pass reads this under the same lock before it calls itself done.
        rescan_ = 1;
        return TRUE;
    }
    return ::PostThreadMessageW(m_nThreadID, WM_APP_DEVICES_CHANGED, 0, 0);
}

void USBDataEnumeratorThread::GetDevices(UsbStorageDeviceList& devices)
{
    CSingleLock lock(&snapshotLock_, TRUE);
    devices = published_;
}

void USBDataEnumeratorThread::OnEnumerate()
{
    UsbStorageDeviceList result;
    UsbDeviceEnumerator enumerator(result);
    enumerator.SetInfoMask(infoFlags_);
    enumerator.SetOptions(storageOnly_);
    PurgeSubscribers();
    {
        std::lock_guard<std::mutex> guard(scanStateLock_);
        busy_ = 1;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(scanStateLock_);
            rescan_ = 0;
        }
        // The enumerator widens its mask by the Windows version on every walk; each pass
        // starts from the thread's own flags.
        enumerator.SetInfoMask(infoFlags_);
        enumerator.Walk();
        PublishDevices(result);
        NotifySubscribers();
        std::lock_guard<std::mutex> guard(scanStateLock_);
        if (!rescan_) {
            busy_ = 0;
            break;
        }
    }
}

void USBDataEnumeratorThread::PurgeSubscribers()
{
    CSingleLock lock(&subscriberLock_, TRUE);
    for (auto it = subscribers_.begin(); it != subscribers_.end();) {
        it = ::IsWindow(it->first) ? std::next(it) : subscribers_.erase(it);
    }
}

void USBDataEnumeratorThread::PublishDevices(const UsbStorageDeviceList& devices)
{
    CSingleLock lock(&snapshotLock_, TRUE);
    published_ = devices;
}

void USBDataEnumeratorThread::NotifySubscribers()
{
    CSingleLock lock(&subscriberLock_, TRUE);
    for (const auto& subscriber : subscribers_) {
        if (::IsWindow(subscriber.first)) {
            ::PostMessageW(subscriber.first, subscriber.second, 0, 0);
        }
    }
}
