#include "tool/SettingToolCore.h"

#include "core/model/SettingDefaults.h"
#include "core/pipe/ServiceCommandClient.h"
#include "core/store/InstallSettingTransfer.h"
#include "core/store/SettingStore.h"
#include "core/store/SettingTimeStampIO.h"
#include "core/store/StoreConstants.h"
#include "core/system/SystemPolicy.h"

namespace Quelmar {

namespace {

constexpr const wchar_t* kInstanceMutexName = L"{58BA0F8D-5201-4CAA-92E5-DC76C8B92A80}";

}  // namespace

ISettingToolCore& GetSettingToolCore()
{
    static SettingToolCore core;
    return core;
}

SettingToolCore::SettingToolCore()
    : instanceMutex_(FALSE, kInstanceMutexName), instanceLock_(&instanceMutex_, FALSE),
      keySource_(StoreConstants::kFileKeyMaterial)
{
}

SettingToolCore::~SettingToolCore() = default;

int SettingToolCore::Connect()
{
    if (instanceLock_.IsLocked() || !instanceLock_.Lock(10)) {
        return kAnotherInstance;
    }
    if (!PingService()) {
        int blocked = 0;
        if (SUCCEEDED(CheckLegacyFilterBlocking(blocked)) && blocked) {
            return kLegacyFiltersBlocked;
        }
        return kServiceMismatch;
    }
    return LoadStoredState();
}

void SettingToolCore::Disconnect()
{
    instanceLock_.Unlock();
}

int SettingToolCore::PingService()
{
    ServiceCommandClient client;
    if (!client.ConnectWait(kPingWaitMs)) {
        return 0;
    }
    DWORD version[4] = {};
    const int answered = client.GetVersion(version);
    client.Close();
    return answered == 1 && IsServiceInterfaceVersion(version) ? 1 : 0;
}

int SettingToolCore::LoadStoredState()
{
    SettingV3 setting;
    PasswordData passwordData;
    SettingTimeStamp timeStamp;
    ImportTimeRecord importTime;

    if (SettingStore::Load(setting, passwordData, keySource_) == 0) {
        SettingStore::SetDefaultPasswordData(passwordData);
        SettingStore::SetDefaultSettings(setting);
        // Only a missing item is a first run. A damaged or unreadable one must not be taken
        // for one: the first OK would store defaults over the administrator's protection.
        if (SettingStore::PasswordDataItemExists()) {
            return kStoredDataUnreadable;
        }
    } else {
        setupDone_ = 1;
    }
    try {
        SettingTimeStampIO item(StoreConstants::kProductKeyPath);
        LoadItem(item, timeStamp);
    } catch (...) {
        timeStamp.time = 0;
    }
    SetPasswordData(passwordData);
    SetSettings(setting);
    SetSettingTimeStamp(timeStamp);

    if (setting.autoImport.importAtStart == 1) {
        if (SettingStore::LoadImportTime(importTime, keySource_) == 0) {
            importTime.exportTime.time = 0;
            importTime.importTime.time = 0;
        }
        SettingV3 applied = setting;
        if (ApplyInstallSettingIfNewer(keySource_, passwordData, setting.autoImport.importPath, applied, timeStamp,
                                       importTime.exportTime.time, 1, 1) == kApplied) {
            SetPasswordData(passwordData);
            SetSettingTimeStamp(timeStamp);
            if (!EqualSettings(applied, setting_) || applied.blockInternalSd != setting_.blockInternalSd) {
                SetSettings(applied);
                RequestServiceReload();
            }
        }
    }
    return kConnected;
}

int SettingToolCore::RequestServiceReload()
{
    ServiceCommandClient client;
    if (!client.ConnectWait(kRequestWaitMs)) {
        return 20;
    }
    const int done = client.RequestReloadSettings();
    client.Close();
    return done == 1 ? 0 : 20;
}

int SettingToolCore::SaveSettings()
{
    return SettingStore::SaveSettingFile(keySource_, setting_) == 1 ? 0 : 10;
}

int SettingToolCore::SavePasswordData()
{
    return SettingStore::SavePasswordData(passwordData_) == 1 ? 0 : 10;
}

int SettingToolCore::ExportInstallSetting(const CString& path, const PasswordData& passwordData,
                                          const SettingV3& setting, const SettingTimeStamp& timeStamp)
{
    return ExportInstallSettingFile(keySource_, passwordData, path, setting, timeStamp) == 1 ? 0 : 10;
}

int SettingToolCore::RegisterExemptProcess()
{
    ServiceCommandClient client;
    if (!client.ConnectWait(kRequestWaitMs)) {
        return 0;
    }
    const int accepted = client.AddExemptProcess(GetCurrentProcessId());
    client.Close();
    return accepted == 1 ? 1 : 0;
}

void SettingToolCore::UnregisterExemptProcess()
{
    ServiceCommandClient client;
    if (client.ConnectWait(kRequestWaitMs)) {
        client.RemoveExemptProcess(GetCurrentProcessId());
        client.Close();
    }
}

void SettingToolCore::SetSettings(const SettingV3& setting)
{
    AssignSetting(setting_, setting);
}

void SettingToolCore::SetPasswordData(const PasswordData& passwordData)
{
    AssignPasswordData(passwordData_, passwordData);
}

void SettingToolCore::SetSettingTimeStamp(const SettingTimeStamp& timeStamp)
{
    timeStamp_.time = timeStamp.time;
}

int SettingToolCore::ReadImportedFileTime(ImportTimeRecord& record)
{
    return SettingStore::LoadImportTime(record, keySource_);
}

}  // namespace Quelmar
