#include "core/store/InstallSettingTransfer.h"

#include "core/store/InstallSettingFile.h"
#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingTimeStampIO.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"

#include <ctime>
#include <utility>
#include <vector>

namespace Quelmar {

namespace {

// The install-setting record carries every field of the setting and of the password data;
// these two are the one place where they meet, one per direction.
void FillInstallSettingData(InstallSettingData& data, const SettingV3& setting, const PasswordData& passwordData,
                            const SettingTimeStamp& timeStamp)
{
    data.usbControlEnabled = setting.usbControlEnabled;
    data.outsidePolicy = setting.outsidePolicy;
    data.whitelist = setting.whitelist;
    data.blockPortableDevices = setting.blockPortableDevices;
    data.blockCdWriting = setting.blockCdWriting;
    data.autoImport = setting.autoImport;
    data.blockInternalSd = setting.blockInternalSd;
    data.passwordSet = passwordData.passwordSet;
    data.passwordDigest = passwordData.passwordDigest;
    data.keyDeviceSet = passwordData.keyDeviceSet;
    data.keyDevice = passwordData.keyDevice;
    data.unlockMode = passwordData.unlockMode;
    data.settingTimeStamp = timeStamp.time;
}

void TakeInstallSettingData(const InstallSettingData& data, SettingV3& setting, PasswordData& passwordData)
{
    SettingStore::SetDefaultSettings(setting);
    SettingStore::SetDefaultPasswordData(passwordData);
    setting.usbControlEnabled = data.usbControlEnabled;
    setting.outsidePolicy = data.outsidePolicy;
    setting.whitelist = data.whitelist;
    setting.blockPortableDevices = data.blockPortableDevices;
    setting.blockCdWriting = data.blockCdWriting;
    setting.autoImport = data.autoImport;
    setting.blockInternalSd = data.blockInternalSd;
    passwordData.passwordSet = data.passwordSet;
    passwordData.passwordDigest = data.passwordDigest;
    passwordData.keyDeviceSet = data.keyDeviceSet;
    passwordData.keyDevice = data.keyDevice;
    passwordData.unlockMode = data.unlockMode;
}

}  // namespace

int LoadInstallSettingFile(const CString& path, PasswordData& passwordData, SettingV3& setting,
                           SettingTimeStamp& timeStamp, SettingTimeStamp& exportTime)
{
    try {
        InstallSettingData data;
        Quelmar::CInstallSettingFilePlusV2 file(path);
        file.formatTag = kInstallSettingTagV3;
        std::vector<BYTE> payload;
        if (file.Load(payload) != 1) {
            throw Quelmar::CInstallSettingFilePlusV2::loadFailed;
        }
        file.ReadV3(payload, data);

        // The new records are built aside; the caller's change only once everything was read
        // and copied, by moves that cannot fail, so a failure leaves them as they were.
        SettingV3 readSetting;
        PasswordData readPasswordData;
        TakeInstallSettingData(data, readSetting, readPasswordData);
        setting = std::move(readSetting);
        passwordData = std::move(readPasswordData);
        timeStamp.time = data.settingTimeStamp;
        exportTime.time = data.exportTime.time;
        return kApplied;
    } catch (Quelmar::CInstallSettingFilePlusV1::_throws) {
        return kBodyTruncated;
    } catch (...) {
        return kFileUnreadable;
    }
}

int ExportInstallSettingFile(const FileKeySource& keySource, const PasswordData& passwordData, const CString& path,
                             const SettingV3& setting, const SettingTimeStamp& timeStamp)
{
    int64_t exported = 0;
    try {
        InstallSettingData data;
        FillInstallSettingData(data, setting, passwordData, timeStamp);
        data.exportTime.time = static_cast<int64_t>(_time64(nullptr));
        Quelmar::CInstallSettingFilePlusV2 file(path);
        file.formatTag = kInstallSettingTagV3;
        std::vector<BYTE> payload;
        file.WriteV3(data, payload);
        file.Save(payload);
        exported = data.exportTime.time;
    } catch (...) {
        return 0;
    }
    SettingStore::UpdateImportTime(keySource, &exported, nullptr);
    return 1;
}

int ApplyInstallSettingIfNewer(const FileKeySource& keySource, PasswordData& passwordData, const CString& path,
                               SettingV3& setting, SettingTimeStamp& timeStamp, int64_t lastExportTime,
                               int stampCheck, int newerCheck)
{
    SettingTimeStamp fileExportTime;
    const int loaded = LoadInstallSettingFile(path, passwordData, setting, timeStamp, fileExportTime);
    if (loaded != kApplied) {
        return loaded;
    }

    if (stampCheck != 0) {
        SettingTimeStamp stored;
        try {
            SettingTimeStampIO item(StoreConstants::kProductKeyPath);
            LoadItem(item, stored);
        } catch (...) {
            return kTimeStampReadFailed;
        }
        if (stored.time != timeStamp.time) {
            return kTimeStampDiffers;
        }
    }

    if (newerCheck != 0 && fileExportTime.time <= lastExportTime) {
        return kNotNewer;
    }

    try {
        SettingTimeStampIO item(StoreConstants::kProductKeyPath);
        SaveItem(item, timeStamp);
    } catch (...) {
        return kTimeStampStoreFailed;
    }
    if (SettingStore::SavePasswordData(passwordData) == 0) {
        return kPasswordDataStoreFailed;
    }
    if (SettingStore::SaveSettingFile(keySource, setting) == 0) {
        return kSettingStoreFailed;
    }
    const int64_t exported = fileExportTime.time;
    const int64_t now = static_cast<int64_t>(_time64(nullptr));
    SettingStore::UpdateImportTime(keySource, &exported, newerCheck == 1 ? &now : nullptr);
    return kApplied;
}

}  // namespace Quelmar
