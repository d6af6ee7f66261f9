#include "core/store/SettingStore.h"

#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingTimeStampIO.h"
#include "core/store/SettingRecordFile.h"
#include "core/system/FolderTree.h"
#include "store_test_support.h"

#include "classlib/ScopedRegKey.h"

#include <thread>

using namespace Quelmar;

namespace {

WhitelistEntry Entry(WORD vendorId, const wchar_t* serial)
{
    WhitelistEntry entry;
    entry.vendorId = vendorId;
    entry.productId = 0x1000;
    entry.serialNumber = serial;
    entry.useVendorId = 1;
    entry.useSerialNumber = 1;
    entry.attribute = 2;
    return entry;
}

SettingV3 SampleSetting()
{
    SettingV3 setting;
    SettingStore::SetDefaultSettings(setting);
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = 2;
    setting.blockPortableDevices = 0;
    setting.blockCdWriting = 0;
    setting.blockInternalSd = 1;
    setting.autoImport.importAtStart = 1;
    setting.autoImport.importPath = L"D:\\QEVRINInstallSetting.dat";
    setting.whitelist.push_back(Entry(0x0781, L"4C530001"));
    setting.whitelist.push_back(Entry(0x090C, L"AA00"));
    return setting;
}

void ExpectDefaults(const SettingV3& setting)
{
    EXPECT_EQ(setting.usbControlEnabled, 1);
    EXPECT_EQ(setting.outsidePolicy, 1);
    EXPECT_EQ(setting.blockPortableDevices, 1);
    EXPECT_EQ(setting.blockCdWriting, 1);
    EXPECT_EQ(setting.blockInternalSd, 0);
    EXPECT_EQ(setting.autoImport.importAtStart, 0);
    EXPECT_TRUE(setting.autoImport.importPath.IsEmpty());
    EXPECT_TRUE(setting.whitelist.empty());
}

class SettingStoreTest : public CleanProductState {
protected:
    void SavePasswordData() { ASSERT_EQ(SettingStore::SavePasswordData(PasswordData()), 1); }
    FileKeySource keys_{Material()};
};

const UINT kWriterFlags = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite;

}  // namespace

TEST_F(SettingStoreTest, PathsLieUnderCommonApplicationData)
{
    EXPECT_EQ(GetSettingFilePath().Right(26), CString(L"\\TALVEK\\QEVRIN\\Setting.dat"));
    EXPECT_EQ(GetImportedFilePath().Right(27), CString(L"\\TALVEK\\QEVRIN\\Imported.dat"));
    EXPECT_EQ(GetFbfProgramPath(), GetModuleFolderPath() + L"\\QEVRINfbf.exe");
}

TEST_F(SettingStoreTest, MissingSettingFileLoadsDefaults)
{
    SavePasswordData();
    SettingV3 setting;
    PasswordData passwordData;
    EXPECT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    ExpectDefaults(setting);
}

TEST_F(SettingStoreTest, MissingPasswordDataFailsAndLeavesSetting)
{
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, SampleSetting()), 1);
    SettingV3 setting;
    PasswordData passwordData;
    EXPECT_EQ(SettingStore::Load(setting, passwordData, keys_), 0);
    EXPECT_EQ(setting.outsidePolicy, -1);
    EXPECT_TRUE(setting.whitelist.empty());
}

TEST_F(SettingStoreTest, SavedSettingLoadsBack)
{
    SavePasswordData();
    const SettingV3 saved = SampleSetting();
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, saved), 1);
    SettingV3 setting;
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    EXPECT_TRUE(EqualSettings(setting, saved));
    EXPECT_EQ(setting.blockInternalSd, 1);
}

TEST_F(SettingStoreTest, VersionOneFileIsTakenOver)
{
    SavePasswordData();
    ASSERT_TRUE(BuildFolderSecurity(GetProductFolder()));
    std::vector<BYTE> key;
    BuildRunTimeKey(keys_, key);
    {
        SettingSerializerV1 file(GetSettingFilePath(), key.data(), 16);
        file.formatTag = 0x00040000;
        SettingV1 old;
        old.usbControlEnabled = 0;
        old.outsidePolicy = 2;
        old.blockPortableDevices = 0;
        old.blockCdWriting = 1;
        old.whitelist.push_back(Entry(0x1234, L"X"));
        std::vector<BYTE> payload;
        file.SettingSerializerV1::Write(old, payload);
        file.Save(payload);
    }
    SettingV3 setting;
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    EXPECT_EQ(setting.usbControlEnabled, 0);
    EXPECT_EQ(setting.outsidePolicy, 2);
    ASSERT_EQ(setting.whitelist.size(), 1u);
    EXPECT_EQ(setting.whitelist[0].vendorId, 0x1234);
    EXPECT_EQ(setting.autoImport.importAtStart, 0);
    EXPECT_EQ(setting.blockInternalSd, 0);
}

TEST_F(SettingStoreTest, FileOfOtherKeyMaterialLoadsDefaults)
{
    SavePasswordData();
    const DWORD other[2] = {7, 7};
    ASSERT_EQ(SettingStore::SaveSettingFile(FileKeySource(other), SampleSetting()), 1);
    SettingV3 setting;
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    ExpectDefaults(setting);
}

TEST_F(SettingStoreTest, ReaderWaitsOutSaveInProgress)
{
    SavePasswordData();
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, SampleSetting()), 1);
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread writer([&] {
        CFile file(GetSettingFilePath(), kWriterFlags);
        SetEvent(opened);
        Sleep(150);
    });
    WaitForSingleObject(opened, INFINITE);
    SettingV3 setting;
    PasswordData passwordData;
    EXPECT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    writer.join();
    CloseHandle(opened);
    EXPECT_EQ(setting.outsidePolicy, 2);
    EXPECT_EQ(setting.whitelist.size(), 2u);
}

TEST_F(SettingStoreTest, SaveUnderOpenReaderFailsAndKeepsFile)
{
    SavePasswordData();
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, SampleSetting()), 1);
    {
        CFile reader(GetSettingFilePath(), CFile::modeRead | CFile::shareDenyWrite);
        SettingV3 other;
        SettingStore::SetDefaultSettings(other);
        EXPECT_EQ(SettingStore::SaveSettingFile(keys_, other), 0);
    }
    SettingV3 setting;
    PasswordData passwordData;
    ASSERT_EQ(SettingStore::Load(setting, passwordData, keys_), 1);
    EXPECT_EQ(setting.whitelist.size(), 2u);
}

TEST_F(SettingStoreTest, ImportTimeStartsFromZerosAndKeepsWhatIsNotGiven)
{
    ImportTimeRecord record;
    EXPECT_EQ(SettingStore::LoadImportTime(record, keys_), 0);
    const int64_t exported = 1700000000;
    SettingStore::UpdateImportTime(keys_, &exported, nullptr);
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.exportTime.time, exported);
    EXPECT_EQ(record.importTime.time, 0);
    const int64_t imported = 1700000100;
    SettingStore::UpdateImportTime(keys_, nullptr, &imported);
    ASSERT_EQ(SettingStore::LoadImportTime(record, keys_), 1);
    EXPECT_EQ(record.exportTime.time, exported);
    EXPECT_EQ(record.importTime.time, imported);
}

// The x86 setting tool's items lie in the 32-bit registry view of a 64-bit Windows; the x64
// service and tool must store and read them there, not in their own view.
TEST_F(SettingStoreTest, PasswordDataLivesInTheViewOfTheX86Tool)
{
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, ItemKeyPath(), KEY_WOW64_64KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath, KEY_WOW64_64KEY, 0);
    PasswordData data;
    data.passwordSet = 1;
    data.passwordDigest = std::vector<BYTE>(16, 0x42);
    data.unlockMode = 1;
    ASSERT_EQ(SettingStore::SavePasswordData(data), 1);

    ScopedRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ItemKeyPath(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Receive()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, StoreConstants::kPasswordDataValue, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath, 0, KEY_READ | KEY_WOW64_64KEY,
                            key.Receive()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SettingStore::PasswordDataItemExists(), 1);
    PasswordData read;
    ASSERT_EQ(SettingStore::LoadPasswordData(read), 1);
    EXPECT_EQ(read.passwordDigest, data.passwordDigest);
}

TEST_F(SettingStoreTest, FormatTagOfMissingOrShortFile)
{
    std::vector<BYTE> key;
    BuildRunTimeKey(keys_, key);
    SettingSerializerV3 file(GetSettingFilePath(), key.data(), 16);
    EXPECT_THROW(file.ReadFormatTag(), CFileException);
    ASSERT_TRUE(BuildFolderSecurity(GetProductFolder()));
    file.Save({1, 2});
    try {
        file.ReadFormatTag();
        FAIL() << "read a tag from two bytes";
    } catch (int e) {
        EXPECT_EQ(e, -1);
    }
    file.Save({0, 0, 2, 0x10, 9});
    file.ReadFormatTag();
    EXPECT_EQ(file.formatTag, 0x10020000u);
}

TEST_F(SettingStoreTest, CdBurningPolicyFollowsNoCDBurning)
{
    const wchar_t* path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    struct Case {
        DWORD value;
        int blocked;
    };
    for (const Case& c : {Case{1, 1}, Case{0, 0}, Case{2, 0}}) {
        ASSERT_EQ(RegSetValueExW(key, L"NoCDBurning", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c.value), 4),
                  ERROR_SUCCESS);
        EXPECT_EQ(IsCdBurningBlockedByPolicy(), c.blocked) << c.value;
    }
    RegDeleteValueW(key, L"NoCDBurning");
    EXPECT_EQ(IsCdBurningBlockedByPolicy(), 0);
}
