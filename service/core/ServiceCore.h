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

#include <atomic>

namespace Quelmar {

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
    virtual void SetSettings(const SettingV3& setting);
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

    // Between the request to end the pipe or event thread and its termination.
    static const DWORD WorkerStopLimit = 10000;

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
    void StopPipeServerThreadLocked();

    // Seams for the workers and the session work built beside this core:
    // starts the disc-recorder lock thread (5.1 and 5.2) and the ejector-watch thread.
    void StartDiscThreadsLocked(const SettingV3& setting);
    // re-enables the portable devices recorded under the service's WPD key.
    void RestorePortableDevicesLocked();
    // starts or stops the portable-device lock thread to match the setting.
    void AdjustPortableDeviceThreadLocked(const SettingV3& setting);
    // stops the portable-device, disc-recorder and ejector-watch threads.
    void StopSessionThreadsLocked();
    // asks the portable-device and disc-recorder threads for a pass when they are idle.
    void RequestDeviceLockPassesLocked();
    // starts the CD/DVD ejector in the session with the token of the user who logged on.
    void StartCdEjector(DWORD sessionId);
    // writes Explorer's NoCDBurning policy for the setting, keeping the first value found.
    void ApplyCdBurningPolicy(bool block, const CString& serviceFolder);

    ScopedHandle coreLock_;
    ScopedHandle stopping_;
    CSemaphore settingsLock_;
    SettingV3 setting_;

    ServiceCommandServerThread* pipeThread_ = nullptr;
    QuelmarThread* enforcementThread_ = nullptr;
    CEventWaitThread* eventThread_ = nullptr;

    static std::atomic<ServiceCore*> instance_;
};

}  // namespace Quelmar
