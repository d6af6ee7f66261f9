#pragma once
//
//  The service's single core object: owns the worker threads, keeps the current setting for
//  all of them, decides which threads run for it, and turns the events that reach the service
//  (controls, pipe commands, the driver's volume event) into work for the threads. Windows
//  builds only.
//
//  One core lock serialises start, stop, reload, device events, logon and logoff, so the
//  thread pointers never change under a reader and no thread object is deleted while another
//  thread uses it. Every wait made under the lock is bounded. Work that arrives from the pipe
//  and event threads while a stop is under way is dropped: the stop waits for those threads.
//
#include "classlib/CSyncObject.h"
#include "classlib/ScopedHandle.h"
#include "core/model/Setting.h"
#include "service/pipe/Subject.h"

#include "service/devices/CWindowsPortableDevicesLockThread.h"

#include <atomic>
#include <memory>

class CIMAPIDeviceLockThread;
class CWatchIMAPICDEjectorThread;

namespace Quelmar {

// Owners of the two CD/DVD threads: each ends its thread (bounded wait, then termination) and
// deletes the object.
struct DiscRecorderLockThreadStopper {
    void operator()(CIMAPIDeviceLockThread* thread) const;
};
struct EjectorWatchThreadStopper {
    void operator()(CWatchIMAPICDEjectorThread* thread) const;
};

class CEventWaitThread;
class QuelmarThread;
class ServiceCommandServerThread;

class ServiceCore : public Observer {
public:
    // Creates the process's core; null when its locks cannot be made or one exists already.
    static ServiceCore* CreateInstance();
    // The core, or null before it was created and after it was deleted: a control that comes
    // after the stop finds no core rather than a fresh one.
    static ServiceCore* GetInstance();
    static void DeleteInstance();

    ~ServiceCore() override;
    ServiceCore(const ServiceCore&) = delete;
    ServiceCore& operator=(const ServiceCore&) = delete;

    // The driver answers this service's interface version. Refused while any worker exists.
    // On failure the last error says why; a driver of another version gives
    // ERROR_REVISION_MISMATCH.
    virtual BOOL CheckDriver();
    // 1 when started; 0 when the pipe server or the enforcement thread could not start, with
    // everything stopped again and the last error of the failure kept.
    virtual int Start();
    virtual void Stop();
    virtual void OnDeviceEvent();
    // Both wait at most SettingLockLimit for the setting's semaphore. FALSE when the new
    // setting could not be stored; GetSettings then answers the fail-closed defaults.
    virtual BOOL SetSettings(const SettingV3& setting);
    virtual SettingV3 GetSettings();
    virtual void OnSessionLogon(DWORD sessionId);
    virtual void OnSessionLogoff();

    void OnSubjectNotify(Subject* subject) override;
    void OnServiceCommand(ServiceCommandRequest& request) override;

    // Pipe command 2: reloads the setting and adjusts the workers to it.
    void ReloadSettings();
    void LoadSettings();

    // What runs now (for the control handler's checks and for tests).
    bool HasPipeServerThread();
    bool HasEnforcementThread();
    bool HasEventWaitThread();
    bool HasPortableDeviceThread();
    bool HasDiscRecorderThread();
    bool HasEjectorWatchThread();

    // Where the portable devices disabled by the service are recorded, under HKEY_LOCAL_MACHINE.
    static const wchar_t kPortableDeviceKeyPath[];

    // Between the request to end the pipe or event thread and its termination.
    static const DWORD WorkerStopLimit = 10000;
    // The longest wait for the setting's semaphore, held only for a copy.
    static const DWORD SettingLockLimit = 10000;

private:
    ServiceCore();

    // Takes the core lock; when unlessStopping, gives up as soon as a stop is under way.
    class CoreLock {
    public:
        CoreLock(ServiceCore& core, bool unlessStopping);
        ~CoreLock();
        CoreLock(const CoreLock&) = delete;
        CoreLock& operator=(const CoreLock&) = delete;
        bool Held() const { return held_; }

    private:
        ServiceCore& core_;
        bool held_ = false;
    };

    void StopLocked();
    void ReloadSettingsLocked();
    void OnDeviceEventLocked();
    // Starts enforcement when the setting wants it and it does not run; a failure is retried
    // at the next device event or reload.
    void EnsureEnforcementLocked(const SettingV3& setting);
    // The enforcement thread ended without being asked to.
    bool EnforcementEndedLocked();
    // Deals with an enforcement thread that ended unasked: a new one takes its place when the
    // setting wants enforcement, else the table it left is released. False when none ended.
    bool ReplaceEndedEnforcementLocked(const SettingV3& setting);
    // A device or volume event for the enforcement thread, started first when it is missing.
    void PostDeviceEventToEnforcementLocked();
    void StopPipeServerThreadLocked();

    // Starts the disc-recorder lock thread (5.1 and 5.2 only) and the ejector-watch thread
    // when control and CD/DVD write blocking are on; either may fail without failing the start.
    void StartDiscThreadsLocked(const SettingV3& setting);
    // Re-enables the portable devices recorded under the service's WPD key.
    void RestorePortableDevicesLocked();
    // Starts the portable-device thread when the setting wants it and none runs; false when it
    // should run but could not start.
    bool StartPortableDeviceThreadLocked(const SettingV3& setting);
    // On a reload: stops the portable-device thread when the setting no longer wants it, or
    // starts it (after re-enabling the recorded devices) when it now does.
    void AdjustPortableDeviceThreadLocked(const SettingV3& setting);
    void StopPortableDeviceThreadLocked();
    void StopDiscThreadsLocked();
    // Asks the disc-recorder and portable-device threads for a pass when they are idle.
    void RequestDeviceLockPassesLocked();
    // Starts the CD/DVD ejector in the session with the token of the user who logged on.
    void StartCdEjector(DWORD sessionId);
    // Writes Explorer's NoCDBurning policy for the setting, keeping the first value found.
    void ApplyCdBurningPolicy(bool block, const CString& serviceFolder);

    ScopedHandle coreLock_;
    ScopedHandle stopping_;
    CSemaphore settingsLock_;
    SettingV3 setting_;

    ServiceCommandServerThread* pipeThread_ = nullptr;
    QuelmarThread* enforcementThread_ = nullptr;
    CEventWaitThread* eventThread_ = nullptr;
    // Read without the core lock to drop the other subjects' notifications at once: the
    // portable thread notifies on its own thread, which a reload under the lock may be waiting
    // for.
    std::atomic<Subject*> eventSubject_{nullptr};
    PortableDeviceLockThreadPtr portableThread_;
    std::unique_ptr<CIMAPIDeviceLockThread, DiscRecorderLockThreadStopper> discRecorderThread_;
    std::unique_ptr<CWatchIMAPICDEjectorThread, EjectorWatchThreadStopper> ejectorWatchThread_;

    static std::atomic<ServiceCore*> instance_;
};

}  // namespace Quelmar
