#include "core/store/SettingStore.h"

#include "core/format/SettingConversion.h"
#include "classlib/ScopedRegKey.h"
#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/ItemStorage.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingRecordFile.h"
#include "core/store/StoreConstants.h"
#include "core/system/FolderTree.h"
#include "core/system/OSVersion.h"
#include "core/system/ProgramPaths.h"
#include "core/system/SystemPolicy.h"

#include <vector>

namespace Quelmar {

namespace {

CString JoinPath(const CString& folder, const WCHAR* name)
{
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == L'\\') {
        return folder + name;
    }
    return folder + L"\\" + name;
}

// The maker folder with default security, then the product folder with the product access
// list. A folder that could not be made shows up as a failed open of the file in it.
void CreateProductFolders()
{
    CreateFolderTree(GetMakerFolder(), nullptr);
    BuildFolderSecurity(GetProductFolder());
}

template <typename File, typename Setting>
int LoadSettingFile(Setting& setting, const FileKeySource& keySource)
{
    try {
        std::vector<BYTE> key;
        BuildRunTimeKey(keySource, key);
        File file(GetSettingFilePath(), key.data(), static_cast<DWORD>(key.size()));
        LoadSettingRecord(file, setting);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace

CString GetMakerFolder()
{
    return JoinPath(GetCommonAppDataFolder(), StoreConstants::kMakerFolderName);
}

CString GetProductFolder()
{
    return JoinPath(GetMakerFolder(), StoreConstants::kProductFolderName);
}

CString GetSettingFilePath()
{
    return JoinPath(GetProductFolder(), StoreConstants::kSettingFileName);
}

CString GetImportedFilePath()
{
    return JoinPath(GetProductFolder(), StoreConstants::kImportedFileName);
}

CString GetModuleFolderPath()
{
    CString path = GetModuleFilePath();
    int slash = path.ReverseFind(L'\\');
    return slash >= 0 ? path.Left(slash) : path;
}

CString GetFbfProgramPath()
{
    return JoinPath(GetModuleFolderPath(), StoreConstants::kFbfProgramName);
}

int LoadSettingFileV1(SettingV1& setting, const FileKeySource& keySource)
{
    return LoadSettingFile<SettingSerializerV1>(setting, keySource);
}

int LoadSettingFileV2(SettingV2& setting, const FileKeySource& keySource)
{
    return LoadSettingFile<SettingSerializerV2>(setting, keySource);
}

int LoadSettingFileV3(SettingV3& setting, const FileKeySource& keySource)
{
    return LoadSettingFile<SettingSerializerV3>(setting, keySource);
}

int IsCdBurningBlockedByPolicy()
{
    COSVersion version;
    if (!version.IsLaterThan5_0()) {
        return 1;
    }
    DWORD value = 0;
    return ReadNoCDBurningPolicy(value) == ERROR_SUCCESS && value == 1 ? 1 : 0;
}

namespace SettingStore {

int Load(SettingV3& setting, PasswordData& passwordData, const FileKeySource& keySource)
{
    if (LoadPasswordData(passwordData) == 0) {
        return 0;
    }
    if (LoadSettingFileV3(setting, keySource) == 1) {
        return 1;
    }
    try {
        SetDefaultSettings(setting);
        SettingV2 version2;
        if (LoadSettingFileV2(version2, keySource) == 1) {
            ConvertSettingV2ToV3(version2, setting);
            return 1;
        }
        SettingV1 version1;
        if (LoadSettingFileV1(version1, keySource) == 1) {
            ConvertSettingV1ToV3(version1, setting);
            return 1;
        }
        SetDefaultSettings(setting);
        return 1;
    } catch (...) {
        // Out of memory while converting an older file: the caller takes the defaults for
        // both records, as after any failed load.
        return 0;
    }
}

int SaveSettingFile(const FileKeySource& keySource, const SettingV3& setting)
{
    try {
        std::vector<BYTE> key;
        BuildRunTimeKey(keySource, key);
        CreateProductFolders();
        SettingSerializerV3 file(GetSettingFilePath(), key.data(), static_cast<DWORD>(key.size()));
        file.formatTag = 0x10020000;
        SaveSettingRecord(file, setting);
        return 1;
    } catch (...) {
        return 0;
    }
}

int LoadPasswordData(PasswordData& passwordData)
{
    try {
        Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
        LoadItem(item, passwordData);
        return 1;
    } catch (...) {
        return 0;
    }
}

int PasswordDataItemExists()
{
    ScopedRegKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ItemKeyPath(StoreConstants::kProductKeyPath), 0,
                                KEY_QUERY_VALUE | kProductKeyView, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    if (status != ERROR_SUCCESS) {
        return 1;
    }
    status = RegQueryValueExW(key, StoreConstants::kPasswordDataValue, nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

int SavePasswordData(const PasswordData& passwordData)
{
    try {
        Quelmar::CPasswordDataIOV2 preparation(StoreConstants::kProductKeyPath);
        preparation.EnsureItemKey();
    } catch (...) {
        // The write below tells whether the key is usable.
    }
    try {
        Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
        SaveItem(item, passwordData);
        return 1;
    } catch (...) {
        return 0;
    }
}

int LoadImportTime(ImportTimeRecord& record, const FileKeySource& keySource)
{
    try {
        std::vector<BYTE> key;
        BuildRunTimeKey(keySource, key);
        ExportTimeImportedFileIO item(key.data(), static_cast<DWORD>(key.size()), GetImportedFilePath());
        LoadItem(item, record);
        return 1;
    } catch (...) {
        return 0;
    }
}

int SaveImportTime(const ImportTimeRecord& record, const FileKeySource& keySource)
{
    try {
        std::vector<BYTE> key;
        BuildRunTimeKey(keySource, key);
        CreateProductFolders();
        ExportTimeImportedFileIO item(key.data(), static_cast<DWORD>(key.size()), GetImportedFilePath());
        SaveItem(item, record);
        return 1;
    } catch (...) {
        return 0;
    }
}

void UpdateImportTime(const FileKeySource& keySource, const int64_t* exportTime, const int64_t* importTime)
{
    ImportTimeRecord record;
    if (LoadImportTime(record, keySource) == 0) {
        record.exportTime.time = 0;
        record.importTime.time = 0;
    }
    if (exportTime != nullptr) {
        record.exportTime.time = *exportTime;
    }
    if (importTime != nullptr) {
        record.importTime.time = *importTime;
    }
    SaveImportTime(record, keySource);
}

}  // namespace SettingStore

}  // namespace Quelmar
