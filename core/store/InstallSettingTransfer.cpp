#include "core/store/InstallSettingTransfer.h"

#include "core/store/InstallSettingFile.h"
#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingTimeStampIO.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"

#include <ctime>
#include <vector>

namespace Quelmar {

int LoadInstallSettingFile(const CString& path, PasswordData& passwordData, SettingV3& setting,
                           SettingTimeStamp& timeStamp, SettingTimeStamp& exportTime)
{
    InstallSettingData data;
    try {
        Quelmar::CInstallSettingFilePlusV2 file(path);
        file.formatTag = kInstallSettingTagV3;
        std::vector<BYTE> payload;
        if (file.Load(payload) != 1) {
            throw Quelmar::CInstallSettingFilePlusV2::loadFailed;
        }
        file.ReadV3(payload, data);
    } catch (Quelmar::CInstallSettingFilePlusV1::_throws) {
        return kBodyTruncated;
    } catch (...) {
        return kFileUnreadable;
    }

    SettingStore::SetDefaultSettings(setting);
    SettingStore::SetDefaultPasswordData(passwordData);
    setting.usbControlEnabled = data.usbControlEnabled;
    setting.outsidePolicy = data.outsidePolicy;
    setting.whitelist = data.whitelist;
    setting.blockPortableDevices = data.blockPortableDevices;
    setting.blockCdWriting = data.blockCdWriting;
    setting.autoImport.importAtStart = data.autoImport.importAtStart;
    setting.autoImport.importPath = data.autoImport.importPath;
    setting.blockInternalSd = data.blockInternalSd;
    passwordData.passwordSet = data.passwordSet;
    passwordData.passwordDigest = data.passwordDigest;
    passwordData.keyDeviceSet = data.keyDeviceSet;
    passwordData.keyDevice.vendorId = data.keyDevice.vendorId;
    passwordData.keyDevice.productId = data.keyDevice.productId;
    passwordData.keyDevice.serialNumber = data.keyDevice.serialNumber;
    passwordData.unlockMode = data.unlockMode;
    timeStamp.time = data.settingTimeStamp;
    exportTime.time = data.exportTime.time;
    return kApplied;
}

int ExportInstallSettingFile(const FileKeySource& keySource, const PasswordData& passwordData, const CString& path,
                             const SettingV3& setting, const SettingTimeStamp& timeStamp)
{
    InstallSettingData data;
    data.usbControlEnabled = setting.usbControlEnabled;
    data.outsidePolicy = setting.outsidePolicy;
    data.whitelist = setting.whitelist;
    data.blockPortableDevices = setting.blockPortableDevices;
    data.blockCdWriting = setting.blockCdWriting;
    data.autoImport.importAtStart = setting.autoImport.importAtStart;
    data.autoImport.importPath = setting.autoImport.importPath;
    data.blockInternalSd = setting.blockInternalSd;
    data.passwordSet = passwordData.passwordSet;
    data.passwordDigest = passwordData.passwordDigest;
    data.keyDeviceSet = passwordData.keyDeviceSet;
    data.keyDevice.vendorId = passwordData.keyDevice.vendorId;
    data.keyDevice.productId = passwordData.keyDevice.productId;
    data.keyDevice.serialNumber = passwordData.keyDevice.serialNumber;
    data.unlockMode = passwordData.unlockMode;
    data.settingTimeStamp = timeStamp.time;
    data.exportTime.time = static_cast<int64_t>(_time64(nullptr));
    try {
        Quelmar::CInstallSettingFilePlusV2 file(path);
        file.formatTag = kInstallSettingTagV3;
        std::vector<BYTE> payload;
        file.WriteV3(data, payload);
        file.Save(payload);
    } catch (...) {
        return 0;
    }
    const int64_t exported = data.exportTime.time;
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
