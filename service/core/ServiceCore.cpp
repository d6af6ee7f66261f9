#include "service/core/ServiceCore.h"

#include "core/process/ProcessEnumeratorHolder.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/system/OSVersion.h"
#include "service/discs/CIMAPIDeviceLockThread.h"
#include "service/discs/CWatchIMAPICDEjectorThread.h"
#include "service/discs/CdBurningPolicy.h"
#include "service/driver/DriverControl.h"
#include "service/driver/DriverInterface.h"
#include "service/entry/ServiceControlAccess.h"
#include "service/enforcement/QuelmarThread.h"
#include "service/enforcement/ThreadMessages.h"
#include "service/events/CEventWaitThread.h"
#include "service/pipe/ServiceCommandServerThread.h"
#include "service/session/SessionLauncher.h"

#include <cstring>
#include <new>

namespace Quelmar {

std::atomic<ServiceCore*> ServiceCore::instance_{nullptr};

const wchar_t ServiceCore::kPortableDeviceKeyPath[] = L"SYSTEM\\CurrentControlSet\\Services\\QEVRINs\\WPD";

void DiscRecorderLockThreadStopper::operator()(CIMAPIDeviceLockThread* thread) const
{
    StopDiscRecorderLockThread(thread);
}

void EjectorWatchThreadStopper::operator()(CWatchIMAPICDEjectorThread* thread) const
{
    StopEjectorWatchThread(thread);
}

ServiceCore* ServiceCore::CreateInstance()
{
    if (instance_ != nullptr) {
        return nullptr;
    }
    try {
        ServiceCore* core = new ServiceCore();
        instance_ = core;
        return core;
    } catch (const CResourceException& error) {
        SetLastError(error.m_osError);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
}

ServiceCore* ServiceCore::GetInstance()
{
    return instance_;
}

void ServiceCore::DeleteInstance()
{
    delete instance_.exchange(nullptr);
}

ServiceCore::ServiceCore()
    : coreLock_(CreateMutexW(nullptr, FALSE, nullptr)), stopping_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!coreLock_.IsValid() || !stopping_.IsValid()) {
        throw CResourceException(GetLastError());
    }
    SettingStore::SetDefaultSettings(setting_);
    ChooseProcessEnumerator();
}

ServiceCore::~ServiceCore()
{
    ReleaseProcessEnumeratorSingletons();
}

ServiceCore::CoreLock::CoreLock(ServiceCore& core, bool unlessStopping) : core_(core)
{
    if (unlessStopping) {
        HANDLE waits[] = {core.stopping_.Get(), core.coreLock_.Get()};
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        held_ = result == WAIT_OBJECT_0 + 1 || result == WAIT_ABANDONED_0 + 1;
    } else {
        const DWORD result = WaitForSingleObject(core.coreLock_.Get(), INFINITE);
        held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
}

ServiceCore::CoreLock::~CoreLock()
{
    if (held_) {
        ReleaseMutex(core_.coreLock_.Get());
    }
}

bool ServiceCore::HasPipeServerThread()
{
    CoreLock lock(*this, false);
    return pipeThread_ != nullptr;
}

bool ServiceCore::HasEnforcementThread()
{
    CoreLock lock(*this, false);
    return enforcementThread_ != nullptr;
}

bool ServiceCore::HasEventWaitThread()
{
    CoreLock lock(*this, false);
    return eventThread_ != nullptr;
}

bool ServiceCore::HasPortableDeviceThread()
{
    CoreLock lock(*this, false);
    return portableThread_ != nullptr;
}

bool ServiceCore::HasDiscRecorderThread()
{
    CoreLock lock(*this, false);
    return discRecorderThread_ != nullptr;
}

bool ServiceCore::HasEjectorWatchThread()
{
    CoreLock lock(*this, false);
    return ejectorWatchThread_ != nullptr;
}

BOOL ServiceCore::CheckDriver()
{
    CoreLock lock(*this, false);
    if (pipeThread_ != nullptr || enforcementThread_ != nullptr || eventThread_ != nullptr) {
        // The enforcement thread may hold the driver's one handle right now.
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    DriverControl* driver = DriverControl::GetInstance();
    DWORD error = ERROR_SUCCESS;
    BOOL matches = FALSE;
    if (!driver->Open(DriverOpenLimitVersionCheck)) {
        error = GetLastError();
    } else {
        BYTE version[8] = {};
        // The byte count the driver reports is not looked at: the eight bytes must match.
        if (!driver->QueryVersion(version)) {
            error = GetLastError();
        } else if (memcmp(version, FILTER_INTERFACE_VERSION, sizeof(version)) != 0) {
            error = ERROR_REVISION_MISMATCH;
        } else {
            matches = TRUE;
        }
    }
    DriverControl::DeleteInstance();
    if (!matches && error == ERROR_SUCCESS) {
        error = ERROR_GEN_FAILURE;
    }
    SetLastError(error);
    return matches;
}

BOOL ServiceCore::SetSettings(const SettingV3& setting)
{
    SettingV3 copy(setting);
    // A holder that was terminated never gives the semaphore back: the wait is bounded, and
    // the setting in force stays when it runs out.
    CSingleLock lock(&settingsLock_);
    if (!lock.Lock(SettingLockLimit)) {
        return FALSE;
    }
    setting_ = std::move(copy);
    return TRUE;
}

SettingV3 ServiceCore::GetSettings()
{
    CSingleLock lock(&settingsLock_);
    if (!lock.Lock(SettingLockLimit)) {
        // As for a setting that cannot be read: the defaults, which block all USB storage.
        SettingV3 defaults;
        SettingStore::SetDefaultSettings(defaults);
        return defaults;
    }
    return setting_;
}

void ServiceCore::LoadSettings()
{
    SettingV3 setting;
    PasswordData password;
    SettingStore::SetDefaultSettings(setting);
    if (SettingStore::Load(setting, password, FileKeySource(StoreConstants::kFileKeyMaterial)) == 0) {
        // Without readable password data the setting file is not trusted: the defaults,
        // which block all USB storage, apply.
        SettingStore::SetDefaultSettings(setting);
        SettingStore::SetDefaultPasswordData(password);
    }
    SetSettings(setting);
}

int ServiceCore::Start()
{
    CoreLock lock(*this, false);
    if (pipeThread_ == nullptr) {
        CWinThread* started = AfxBeginThread(RUNTIME_CLASS(ServiceCommandServerThread), THREAD_PRIORITY_NORMAL, 0,
                                             CREATE_SUSPENDED);
        if (started != nullptr) {
            pipeThread_ = static_cast<ServiceCommandServerThread*>(started);
            pipeThread_->Server().AttachCommandObserver(this);
            pipeThread_->ResumeThread();
        }
    }
    if (eventThread_ == nullptr) {
        eventThread_ = CreateVolumeEventThread(this);
        eventSubject_ = eventThread_;
    }
    if (pipeThread_ == nullptr) {
        const DWORD error = GetLastError();
        StopLocked();
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        return 0;
    }
    LoadSettings();
    const SettingV3 setting = GetSettings();
    if (setting.usbControlEnabled == 1 && enforcementThread_ == nullptr) {
        enforcementThread_ = StartQuelmarThread();
        if (enforcementThread_ == nullptr) {
            const DWORD error = GetLastError();
            StopLocked();
            SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
            return 0;
        }
    }
    StartDiscThreadsLocked(setting);
    RestorePortableDevicesLocked();
    if (!StartPortableDeviceThreadLocked(setting)) {
        const DWORD error = GetLastError();
        StopLocked();
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        return 0;
    }
    return 1;
}

void ServiceCore::Stop()
{
    // First let the pipe and event threads know, so none of them waits for the lock that the
    // stop is about to hold while it waits for them.
    SetEvent(stopping_.Get());
    CoreLock lock(*this, false);
    StopLocked();
}

void ServiceCore::StopPipeServerThreadLocked()
{
    if (pipeThread_ == nullptr) {
        return;
    }
    pipeThread_->Server().RequestStop();
    pipeThread_->PostThreadMessage(WM_QUIT, 0, 0);
    if (WaitForThreadOrTerminate(*pipeThread_, WorkerStopLimit)) {
        delete pipeThread_;
    }
    pipeThread_ = nullptr;
}

void ServiceCore::StopLocked()
{
    // Also on a failed start: a command waiting for the lock gives up instead of holding the
    // pipe thread past its stop.
    SetEvent(stopping_.Get());
    StopPipeServerThreadLocked();
    if (enforcementThread_ != nullptr) {
        // The driver keeps its last table while the service is down, unless the thread had
        // ended unasked: then nobody kept that table current, and the stop releases it.
        StopQuelmarThread(enforcementThread_, 0);
        enforcementThread_ = nullptr;
    }
    StopPortableDeviceThreadLocked();
    if (eventThread_ != nullptr) {
        eventSubject_ = nullptr;
        StopVolumeEventThread(eventThread_);
        eventThread_ = nullptr;
    }
    StopDiscThreadsLocked();
    RestorePortableDevicesLocked();
}

bool ServiceCore::EnforcementEndedLocked()
{
    // Only the core asks the thread to end, and it forgets the thread right then: a thread
    // that ended meanwhile met a failure that no handler expected.
    return enforcementThread_ != nullptr && WaitForSingleObject(enforcementThread_->m_hThread, 0) == WAIT_OBJECT_0;
}

bool ServiceCore::ReplaceEndedEnforcementLocked(const SettingV3& setting)
{
    if (!EnforcementEndedLocked()) {
        return false;
    }
    if (setting.usbControlEnabled == 1) {
        // Until a new thread starts, at a later event or reload, the ended one stays with the
        // table it left in force, and a stop or a switch to off still releases that table.
        if (QuelmarThread* successor = ReplaceEndedQuelmarThread(enforcementThread_)) {
            enforcementThread_ = successor;
        }
    } else {
        // No thread follows to keep the ended one's table current: it is released.
        StopQuelmarThread(enforcementThread_, 1);
        enforcementThread_ = nullptr;
    }
    return true;
}

void ServiceCore::EnsureEnforcementLocked(const SettingV3& setting)
{
    if (setting.usbControlEnabled == 1 && enforcementThread_ == nullptr) {
        enforcementThread_ = StartQuelmarThread();
    }
}

void ServiceCore::ReloadSettings()
{
    CoreLock lock(*this, true);
    if (lock.Held()) {
        ReloadSettingsLocked();
    }
}

void ServiceCore::ReloadSettingsLocked()
{
    // Until the service's own access list is narrowed, anyone may stop the enforcement: every
    // event that reaches the core tries again, also on a PC where no setting is ever reloaded.
    RetryControlAccess();
    LoadSettings();
    const SettingV3 setting = GetSettings();
    // A new thread in place of one that ended takes the setting as it starts.
    if (!ReplaceEndedEnforcementLocked(setting)) {
        if (enforcementThread_ == nullptr) {
            EnsureEnforcementLocked(setting);
        } else if (setting.usbControlEnabled == 1) {
            enforcementThread_->PostThreadMessage(WM_APP_SETTINGS_CHANGED, 0, 0);
        } else {
            StopQuelmarThread(enforcementThread_, 1);
            enforcementThread_ = nullptr;
        }
    }
    AdjustPortableDeviceThreadLocked(setting);
}

void ServiceCore::OnDeviceEvent()
{
    CoreLock lock(*this, false);
    OnDeviceEventLocked();
}

void ServiceCore::OnDeviceEventLocked()
{
    RetryControlAccess();
    PostDeviceEventToEnforcementLocked();
    RequestDeviceLockPassesLocked();
}

void ServiceCore::PostDeviceEventToEnforcementLocked()
{
    // A thread that ended unasked, or a start that failed at the last reload, is tried again,
    // so a new stick is not left to the driver's rule wait until the next reload.
    if (enforcementThread_ == nullptr || EnforcementEndedLocked()) {
        const SettingV3 setting = GetSettings();
        if (!ReplaceEndedEnforcementLocked(setting)) {
            EnsureEnforcementLocked(setting);
        }
    }
    if (enforcementThread_ != nullptr) {
        enforcementThread_->PostThreadMessage(WM_APP_DEVICE_EVENT, 0, 0);
    }
}

void ServiceCore::OnSubjectNotify(Subject* subject)
{
    if (subject == nullptr || subject != eventSubject_.load()) {
        return;
    }
    CoreLock lock(*this, true);
    if (!lock.Held() || eventThread_ == nullptr || subject != static_cast<Subject*>(eventThread_)) {
        return;
    }
    RetryControlAccess();
    PostDeviceEventToEnforcementLocked();
}

void ServiceCore::OnServiceCommand(ServiceCommandRequest& request)
{
    CoreLock lock(*this, true);
    if (!lock.Held()) {
        return;
    }
    switch (request.code) {
    case 2:
        ReloadSettingsLocked();
        break;
    case 3:
        OnDeviceEventLocked();
        break;
    case 4:
    case 5:
        request.result = 0;
        if (enforcementThread_ != nullptr) {
            request.result = request.code == 4 ? enforcementThread_->RequestAddExemptProcess(request.processId)
                                               : enforcementThread_->RequestRemoveExemptProcess(request.processId);
        }
        break;
    case 6: {
        request.result = 0;
        LONG state = -1;
        if (enforcementThread_ != nullptr &&
            enforcementThread_->RequestQueryDriveState(static_cast<WCHAR>(request.driveLetter), state) == 1) {
            request.result = 1;
            request.state = state;
        }
        break;
    }
    default:
        break;
    }
}

void ServiceCore::OnSessionLogon(DWORD sessionId)
{
    CoreLock lock(*this, false);
    RetryControlAccess();
    const SettingV3 setting = GetSettings();
    if (setting.usbControlEnabled == 1 && setting.blockCdWriting == 1) {
        StartCdEjector(sessionId);
    }
}

void ServiceCore::OnSessionLogoff()
{
    CoreLock lock(*this, false);
    RetryControlAccess();
    LoadSettings();
    const SettingV3 setting = GetSettings();
    // The folder through the growing module-path helper: a long install path is never cut.
    ApplyCdBurningPolicy(setting.usbControlEnabled == 1 && setting.blockCdWriting == 1, GetServiceModuleFolder());
}

void ServiceCore::StartDiscThreadsLocked(const SettingV3& setting)
{
    if (setting.usbControlEnabled != 1 || setting.blockCdWriting != 1) {
        return;
    }
    // Only Windows XP and 2003 burn through the disc master service that the lock thread holds.
    COSVersion version;
    if (version.Is5xAfter5_0() && discRecorderThread_ == nullptr) {
        discRecorderThread_.reset(StartDiscRecorderLockThread());
    }
    if (ejectorWatchThread_ == nullptr) {
        ejectorWatchThread_.reset(StartEjectorWatchThread());
    }
}

void ServiceCore::StopDiscThreadsLocked()
{
    discRecorderThread_.reset();
    ejectorWatchThread_.reset();
}

void ServiceCore::RestorePortableDevicesLocked()
{
    CWindowsPortableDevicesLockThread::RestoreDevices(kPortableDeviceKeyPath);
}

bool ServiceCore::StartPortableDeviceThreadLocked(const SettingV3& setting)
{
    if (setting.usbControlEnabled != 1 || setting.blockPortableDevices != 1 || portableThread_ != nullptr) {
        return true;
    }
    portableThread_ = StartPortableDeviceLockThread(kPortableDeviceKeyPath, this);
    return portableThread_ != nullptr;
}

void ServiceCore::StopPortableDeviceThreadLocked()
{
    // The owner waits for the thread's end (which enables what it disabled) before deleting it.
    portableThread_.reset();
}

void ServiceCore::AdjustPortableDeviceThreadLocked(const SettingV3& setting)
{
    const bool wanted = setting.usbControlEnabled == 1 && setting.blockPortableDevices == 1;
    if (portableThread_ != nullptr) {
        if (!wanted) {
            StopPortableDeviceThreadLocked();
            RestorePortableDevicesLocked();
        }
    } else if (wanted) {
        RestorePortableDevicesLocked();
        // A failure leaves it none until the next reload or start.
        StartPortableDeviceThreadLocked(setting);
    }
}

void ServiceCore::RequestDeviceLockPassesLocked()
{
    if (discRecorderThread_ != nullptr && !discRecorderThread_->Stopping()) {
        discRecorderThread_->RequestPass();
    }
    if (portableThread_ != nullptr) {
        // Refused by the thread itself once it is stopping or a pass is queued.
        portableThread_->RequestPass();
    }
}

void ServiceCore::StartCdEjector(DWORD sessionId)
{
    Quelmar::StartCdEjector(sessionId);
}

void ServiceCore::ApplyCdBurningPolicy(bool block, const CString& serviceFolder)
{
    CdBurningPolicy::Apply(block ? TRUE : FALSE, serviceFolder);
}

}  // namespace Quelmar
