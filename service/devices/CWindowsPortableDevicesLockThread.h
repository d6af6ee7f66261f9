#pragma once
//
//  The worker that keeps every present portable device disabled while portable-device
//  blocking is on: a pass at start, after device events and periodically (sooner after a pass
//  in which a device refused), the record of what it disabled kept under the key, and those
//  devices enabled again when the thread ends.
//
#include "classlib/CString.h"
#include "classlib/CWinThread.h"
#include "classlib/ScopedHandle.h"
#include "service/devices/PortableDeviceList.h"
#include "service/pipe/Subject.h"

#include <windows.h>

#include <atomic>
#include <memory>

namespace Quelmar {

enum : UINT {
    WM_APP_LOCK_REQUEST = WM_APP + 1,   // a pass is asked for; counted
    WM_APP_LOCK_NOW = WM_APP + 2,       // a pass; wParam 0 core, 1 start, 2 request, 3 more
};

class CWindowsPortableDevicesLockThread : public CWinThread, public Subject {
    DECLARE_DYNCREATE(CWindowsPortableDevicesLockThread)

public:
    CWindowsPortableDevicesLockThread();
    ~CWindowsPortableDevicesLockThread() override;

    // False when the request semaphore could not be made: such an object must not be started.
    bool IsUsable() const { return requestSemaphore_.IsValid(); }
    void SetKeyPath(const CString& keyPath) { keyPath_ = keyPath; }

    BOOL InitInstance() override;
    int ExitInstance() override;
    // One disabling pass on the thread.
    virtual void LockDevices();

    // From another thread (the service core on a device event): asks for a pass unless the
    // thread is stopping or a pass is queued already. TRUE when the pass was posted.
    BOOL RequestPass();
    // Set once ExitInstance has begun; read by other threads.
    bool IsStopping() const { return stopping_.load(); }

    // Under the semaphore: the counter goes up by one; TRUE when it was 0.
    BOOL IncrementRequests();
    // Under the semaphore: the counter goes to 0; TRUE when it was above 1.
    BOOL TakeRequests();

    // The stored record of the devices a list disabled (see PortableDeviceRecord.h).
    static void RecordDevices(const PortableDeviceList& list, const CString& keyPath);
    static void RestoreDevices(const CString& keyPath);

    // Milliseconds between passes, and after a pass in which a device refused.
    static const UINT kPassPeriod = 10000;
    static const UINT kRetryPeriod = 5000;

protected:
    ThreadMessageMap GetThreadMessageMap() const override;
    void OnRequest(WPARAM wParam, LPARAM lParam);
    void OnLock(WPARAM wParam, LPARAM lParam);
    // A pass saw a device it had not seen before: the observers hear of it (the service core
    // takes no action on it).
    virtual void OnNewDevice() { Notify(); }

    PortableDeviceList list_;

private:
    static VOID CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    void KillPassTimer();

    ScopedHandle requestSemaphore_;
    LONG requests_ = 0;
    // Written by the thread, read by the core's thread without a lock.
    std::atomic<bool> stopping_{false};
    UINT_PTR timerId_ = 0;
    CString keyPath_;
};

// Ends the thread (WM_QUIT, at most 10000 ms, then terminated) and deletes its object.
struct PortableDeviceLockThreadStopper {
    void operator()(CWindowsPortableDevicesLockThread* thread) const;
};
typedef std::unique_ptr<CWindowsPortableDevicesLockThread, PortableDeviceLockThreadStopper> PortableDeviceLockThreadPtr;

// Starts the thread for the key (suspended, then resumed once set up with its observer, if
// any); the caller owns the object, which outlives its thread until the owner stops it. Null
// when it cannot start.
PortableDeviceLockThreadPtr StartPortableDeviceLockThread(const CString& keyPath, Observer* observer = nullptr);

}  // namespace Quelmar
