#include "core/store/InstallSettingTransfer.h"

#include "core/store/InstallSettingFile.h"
#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingTimeStampIO.h"
#include "core/system/FolderTree.h"
#include "install_setting_golden.h"
#include "registry_call_recorder.h"
#include "store_test_support.h"

#include <string>

using namespace Quelmar;

namespace {

class InstallSettingTransfer : public CleanProductState {
protected:
    void SetUp() override
    {
        CleanProductState::SetUp();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = CString(temp) + L"QEVRINInstallSetting-" + CString(std::to_wstring(GetCurrentProcessId()).c_str()) +
                L".dat";
        DeleteFileW(path_);
    }
    void TearDown() override
    {
        DeleteFileW(path_);
        CleanProductState::TearDown();
    }

    void StoreStamp(int64_t time)
    {
        Quelmar::CPasswordDataIOV2 keys(StoreConstants::kProductKeyPath);
        keys.EnsureItemKey();
        SettingTimeStampIO item(StoreConstants::kProductKeyPath);
        SettingTimeStamp stamp;
        stamp.time = time;
        SaveItem(item, stamp);
    }

    int64_t StoredStamp()
    {
        SettingTimeStampIO item(StoreConstants::kProductKeyPath);
        SettingTimeStamp stamp;
        try {
            LoadItem(item, stamp);
        } catch (...) {
            return -1;
        }
        return stamp.time;
    }

    // Exports a sample configuration carrying the stamp; returns the file's export time.
    int64_t Export(int64_t stamp)
    {
        SettingV3 setting;
        SettingStore::SetDefaultSettings(setting);
        setting.outsidePolicy = 2;
        WhitelistEntry entry;
        entry.vendorId = 0x0781;
        entry.attribute = 0;
        setting.whitelist.push_back(entry);
        PasswordData passwordData;
        passwordData.passwordSet = 1;
        passwordData.passwordDigest = std::vector<BYTE>(16, 0x21);
        passwordData.unlockMode = 1;
        SettingTimeStamp timeStamp;
        timeStamp.time = stamp;
        EXPECT_EQ(ExportInstallSettingFile(keys_, passwordData, path_, setting, timeStamp), 1);
        PasswordData p;
        SettingV3 s;
        SettingTimeStamp t;
        SettingTimeStamp exportTime;
        EXPECT_EQ(LoadInstallSettingFile(path_, p, s, t, exportTime), 0);
        return exportTime.time;
    }

    int Apply(int64_t lastExportTime, int stampCheck = 1, int newerCheck = 1)
    {
        PasswordData passwordData;
        SettingV3 setting;
        SettingTimeStamp stamp;
        return ApplyInstallSettingIfNewer(keys_, passwordData, path_, setting, stamp, lastExportTime, stampCheck,
                                          newerCheck);
    }

    bool SettingFileExists() { return GetFileAttributesW(GetSettingFilePath()) != INVALID_FILE_ATTRIBUTES; }

    // Writes a V3 payload changed by edit into the install-setting file.
    template <typename Edit>
    void WritePayload(Edit edit)
    {
        Quelmar::CInstallSettingFilePlusV2 file(path_);
        file.formatTag = kInstallSettingTagV3;
        InstallSettingData data;
        data.blockInternalSd = 0;
        WhitelistEntry entry;
        data.whitelist.push_back(entry);
        std::vector<BYTE> payload;
        file.WriteV3(data, payload);
        edit(payload);
        file.Save(payload);
    }

    FileKeySource keys_{Material()};
    CString path_;
};

}  // namespace

TEST_F(InstallSettingTransfer, ExportedFileReadsBack)
{
    const int64_t before = static_cast<int64_t>(time(nullptr));
    const int64_t exported = Export(42);
    EXPECT_GE(exported, before);

    PasswordData passwordData;
    SettingV3 setting;
    SettingTimeStamp stamp;
    SettingTimeStamp exportTime;
    ASSERT_EQ(LoadInstallSettingFile(path_, passwordData, setting, stamp, exportTime), 0);
    EXPECT_EQ(setting.outsidePolicy, 2);
    ASSERT_EQ(setting.whitelist.size(), 1u);
    EXPECT_EQ(setting.blockInternalSd, 0);
    EXPECT_EQ(passwordData.passwordDigest, std::vector<BYTE>(16, 0x21));
    EXPECT_EQ(stamp.time, 42);

    // The exporting PC records the export, so it does not apply its own file.
    ImportTimeRecord record;
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.exportTime.time, exported);
    StoreStamp(42);
    EXPECT_EQ(Apply(record.exportTime.time), kNotNewer);
}

TEST_F(InstallSettingTransfer, AppliesNewerFileWithMatchingStamp)
{
    const int64_t exported = Export(77);
    StoreStamp(77);
    EXPECT_EQ(Apply(exported - 1), kApplied);
    EXPECT_EQ(StoredStamp(), 77);
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::LoadPasswordData(passwordData), 1);
    EXPECT_EQ(passwordData.unlockMode, 1);
    SettingV3 setting;
    ASSERT_EQ(LoadSettingFileV3(setting, keys_), 1);
    EXPECT_EQ(setting.outsidePolicy, 2);
    ImportTimeRecord record;
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.exportTime.time, exported);
    EXPECT_GE(record.importTime.time, exported);
}

TEST_F(InstallSettingTransfer, EqualExportTimeIsNotNewer)
{
    const int64_t exported = Export(5);
    StoreStamp(5);
    EXPECT_EQ(Apply(exported), kNotNewer);
    EXPECT_FALSE(SettingFileExists());
}

TEST_F(InstallSettingTransfer, MissingStoredStampStoresNothing)
{
    const int64_t exported = Export(5);
    CleanProductState::Clean();
    EXPECT_EQ(Apply(exported - 1), kTimeStampReadFailed);
    EXPECT_FALSE(KeyExists(StoreConstants::kProductKeyPath));
    EXPECT_FALSE(SettingFileExists());
}

TEST_F(InstallSettingTransfer, DifferentStampStoresNothing)
{
    const int64_t exported = Export(5);
    StoreStamp(6);
    EXPECT_EQ(Apply(exported - 1), kTimeStampDiffers);
    EXPECT_EQ(StoredStamp(), 6);
    EXPECT_FALSE(SettingFileExists());
}

TEST_F(InstallSettingTransfer, StampStoreFailureWithoutItemKey)
{
    const int64_t exported = Export(5);
    CleanProductState::Clean();
    EXPECT_EQ(Apply(exported - 1, 0, 1), kTimeStampStoreFailed);
    EXPECT_FALSE(SettingFileExists());
}

TEST_F(InstallSettingTransfer, SettingStoreFailureKeepsStampAndPasswordData)
{
    const int64_t exported = Export(9);
    StoreStamp(9);
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, SettingV3()), 1);
    CFile reader(GetSettingFilePath(), CFile::modeRead | CFile::shareDenyWrite);
    EXPECT_EQ(Apply(exported - 1), kSettingStoreFailed);
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::LoadPasswordData(passwordData), 1);
    EXPECT_EQ(passwordData.unlockMode, 1);
}

TEST_F(InstallSettingTransfer, UnreadableFilesAreRefused)
{
    EXPECT_EQ(Apply(0, 0, 0), kFileUnreadable);  // missing

    WritePayload([](std::vector<BYTE>& payload) { payload[2] = 0x02; });  // tag 0x10020000
    EXPECT_EQ(Apply(0, 0, 0), kFileUnreadable);

    WritePayload([](std::vector<BYTE>& payload) { payload[payload.size() - 4] = 2; });  // SD flag 2
    EXPECT_EQ(Apply(0, 0, 0), kFileUnreadable);

    WritePayload([](std::vector<BYTE>& payload) { payload.push_back(0); });
    EXPECT_EQ(Apply(0, 0, 0), kFileUnreadable);

    WritePayload([](std::vector<BYTE>& payload) { payload.resize(30); });  // inside the entry
    EXPECT_EQ(Apply(0, 0, 0), kBodyTruncated);

    // A setting file is no install-setting file.
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, SettingV3()), 1);
    CopyFileW(GetSettingFilePath(), path_, FALSE);
    EXPECT_EQ(Apply(0, 0, 0), kFileUnreadable);
}

TEST_F(InstallSettingTransfer, FailedLoadLeavesRecordsUntouched)
{
    PasswordData passwordData;
    passwordData.unlockMode = 2;
    SettingV3 setting;
    setting.outsidePolicy = 2;
    SettingTimeStamp stamp;
    stamp.time = 3;
    SettingTimeStamp exportTime;
    exportTime.time = 4;
    EXPECT_EQ(LoadInstallSettingFile(path_, passwordData, setting, stamp, exportTime), kFileUnreadable);
    EXPECT_EQ(passwordData.unlockMode, 2);
    EXPECT_EQ(setting.outsidePolicy, 2);
    EXPECT_EQ(stamp.time, 3);
    EXPECT_EQ(exportTime.time, 4);
}

// A file from another PC, its payload laid out by hand, lands in the right field of each of
// the caller's records.
TEST_F(InstallSettingTransfer, HandMadeFileReadsIntoEveryField)
{
    {
        Quelmar::CInstallSettingFilePlusV2 file(path_);
        file.Save(golden::DistinctPayload());
    }
    PasswordData passwordData;
    SettingV3 setting;
    SettingTimeStamp stamp;
    SettingTimeStamp exportTime;
    ASSERT_EQ(LoadInstallSettingFile(path_, passwordData, setting, stamp, exportTime), kApplied);

    const InstallSettingData want = golden::DistinctRecord();
    EXPECT_EQ(setting.usbControlEnabled, want.usbControlEnabled);
    EXPECT_EQ(setting.outsidePolicy, want.outsidePolicy);
    EXPECT_EQ(setting.blockPortableDevices, want.blockPortableDevices);
    EXPECT_EQ(setting.blockCdWriting, want.blockCdWriting);
    ASSERT_EQ(setting.whitelist.size(), want.whitelist.size());
    for (size_t i = 0; i < want.whitelist.size(); ++i) {
        EXPECT_TRUE(EqualWhitelistEntries(setting.whitelist[i], want.whitelist[i])) << i;
        EXPECT_EQ(setting.whitelist[i].attribute, want.whitelist[i].attribute) << i;
    }
    EXPECT_EQ(setting.autoImport.importAtStart, want.autoImport.importAtStart);
    EXPECT_EQ(setting.autoImport.importPath, want.autoImport.importPath);
    EXPECT_EQ(setting.blockInternalSd, want.blockInternalSd);
    EXPECT_EQ(passwordData.passwordSet, want.passwordSet);
    EXPECT_EQ(passwordData.passwordDigest, want.passwordDigest);
    EXPECT_EQ(passwordData.keyDeviceSet, want.keyDeviceSet);
    EXPECT_EQ(passwordData.keyDevice.vendorId, want.keyDevice.vendorId);
    EXPECT_EQ(passwordData.keyDevice.productId, want.keyDevice.productId);
    EXPECT_EQ(passwordData.keyDevice.serialNumber, want.keyDevice.serialNumber);
    EXPECT_EQ(passwordData.unlockMode, want.unlockMode);
    EXPECT_EQ(stamp.time, want.settingTimeStamp);
    EXPECT_EQ(exportTime.time, want.exportTime.time);
}

// The second registry write of an apply fails: the stamp is stored, nothing after it.
TEST_F(InstallSettingTransfer, PasswordDataStoreFailureKeepsOnlyTheStamp)
{
    const int64_t exported = Export(9);
    StoreStamp(1);
    {
        registrytest::FailingValueWrite failing(StoreConstants::kPasswordDataValue);
        EXPECT_EQ(Apply(exported - 1, 0, 1), kPasswordDataStoreFailed);
    }
    EXPECT_EQ(StoredStamp(), 9);
    PasswordData passwordData;
    EXPECT_EQ(SettingStore::LoadPasswordData(passwordData), 0);
    EXPECT_FALSE(SettingFileExists());
    ImportTimeRecord record;
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.importTime.time, 0);  // the export's record, untouched by the apply
}

// An export that cannot write its file reports 0 and records no export time.
TEST_F(InstallSettingTransfer, FailedExportRecordsNothing)
{
    const CString nowhere = path_ + L".missing\\QEVRINInstallSetting.dat";
    EXPECT_EQ(ExportInstallSettingFile(keys_, PasswordData(), nowhere, SettingV3(), SettingTimeStamp()), 0);
    EXPECT_EQ(GetFileAttributesW(nowhere), INVALID_FILE_ATTRIBUTES);
    ImportTimeRecord record;
    EXPECT_EQ(SettingStore::LoadImportTime(record, keys_), 0);
}

// Without the newer check a file is applied whatever its export time, and the apply records
// the file's export time but no import time.
TEST_F(InstallSettingTransfer, NewerCheckOffAppliesAnOlderFileWithoutAnImportTime)
{
    const int64_t exported = Export(5);
    StoreStamp(5);
    EXPECT_EQ(Apply(exported + 100, 1, 0), kApplied);
    EXPECT_TRUE(SettingFileExists());
    ImportTimeRecord record;
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.exportTime.time, exported);
    EXPECT_EQ(record.importTime.time, 0);
}
