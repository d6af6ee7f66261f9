#include "core/store/ExportTimeImportedFileIO.h"
#include "core/store/PasswordDataIO.h"
#include "core/store/SettingTimeStampIO.h"

#include "core/crypto/CipherPair.h"
#include "core/store/CipherPairOps.h"
#include "core/store/ItemPayloads.h"
#include "core/store/RecordContainer.h"
#include "core/system/FolderTree.h"
#include "core/system/RegistryAccess.h"
#include "acl_test_support.h"
#include "store_test_support.h"

#include "classlib/ScopedRegKey.h"

using namespace Quelmar;

namespace {

PasswordData SamplePasswordData()
{
    PasswordData data;
    data.passwordSet = 1;
    data.passwordDigest = std::vector<BYTE>(16, 0x11);
    data.keyDeviceSet = 1;
    data.keyDevice.vendorId = 0x0781;
    data.keyDevice.productId = 0x5567;
    data.keyDevice.serialNumber = L"AB";
    data.unlockMode = 2;
    return data;
}

class StoredItems : public CleanProductState {
protected:
    void PrepareKeys()
    {
        Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
        item.EnsureItemKey();
    }

    std::vector<BYTE> RawValue(const wchar_t* name)
    {
        std::vector<BYTE> bytes;
        EXPECT_EQ(RegReadValue(ItemKeyPath(), kProductKeyView, name, bytes), ERROR_SUCCESS);
        return bytes;
    }

    void SetRawValue(const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes)
    {
        ScopedRegKey key;
        ASSERT_EQ(producttest::OpenProductKey(ItemKeyPath(), KEY_SET_VALUE, key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
    }
};

}  // namespace

TEST_F(StoredItems, PasswordDataRoundTripsThroughRegistry)
{
    PrepareKeys();
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    SaveItem(item, SamplePasswordData());
    EXPECT_EQ(RawValue(StoreConstants::kPasswordDataValue).size(), 80u);

    PasswordData read;
    LoadItem(item, read);
    EXPECT_EQ(read.passwordDigest, std::vector<BYTE>(16, 0x11));
    EXPECT_EQ(read.keyDevice.serialNumber, CString(L"AB"));
    EXPECT_EQ(read.unlockMode, 2);
}

TEST_F(StoredItems, EmptyPasswordDataIs48Bytes)
{
    PrepareKeys();
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    SaveItem(item, PasswordData());
    EXPECT_EQ(RawValue(StoreConstants::kPasswordDataValue).size(), 48u);
}

TEST_F(StoredItems, ValueOfOtherTypeIsRefused)
{
    PrepareKeys();
    SetRawValue(StoreConstants::kPasswordDataValue, REG_DWORD, {1, 0, 0, 0});
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    PasswordData read;
    EXPECT_THROW(LoadItem(item, read), Data::IParser::_throws);
}

TEST_F(StoredItems, TamperedOrForeignValueLeavesRecordAsItWas)
{
    PrepareKeys();
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    SaveItem(item, SamplePasswordData());
    std::vector<BYTE> stored = RawValue(StoreConstants::kPasswordDataValue);
    stored[20] ^= 0x04;
    SetRawValue(StoreConstants::kPasswordDataValue, REG_BINARY, stored);

    PasswordData read = SamplePasswordData();
    read.unlockMode = 7;
    EXPECT_THROW(LoadItem(item, read), Data::IParser::_throws);
    EXPECT_EQ(read.unlockMode, 7);

    // The time stamp's key cannot open the password data.
    SetRawValue(StoreConstants::kTimeStampValue, REG_BINARY, RawValue(StoreConstants::kPasswordDataValue));
    SettingTimeStampIO stampItem(StoreConstants::kProductKeyPath);
    SettingTimeStamp stamp;
    EXPECT_THROW(LoadItem(stampItem, stamp), Data::IParser::_throws);
}

TEST_F(StoredItems, MissingKeyFailsBothWaysAndCreatesNothing)
{
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    PasswordData read;
    EXPECT_THROW(LoadItem(item, read), Data::IReader::_throws);
    EXPECT_THROW(SaveItem(item, SamplePasswordData()), Data::IWriter::_throws);
    EXPECT_FALSE(KeyExists(StoreConstants::kProductKeyPath));
}

TEST_F(StoredItems, MissingValueFailsToRead)
{
    PrepareKeys();
    SettingTimeStampIO item(StoreConstants::kProductKeyPath);
    SettingTimeStamp stamp;
    EXPECT_THROW(LoadItem(item, stamp), Data::IReader::_throws);
    EXPECT_EQ(stamp.time, 0);
}

TEST_F(StoredItems, EnsureItemKeyCreatesKeysOnceAndKeepsThem)
{
    PrepareKeys();
    ASSERT_TRUE(KeyExists(ItemKeyPath()));
    Quelmar::CPasswordDataIOV2 item(StoreConstants::kProductKeyPath);
    SaveItem(item, SamplePasswordData());
    PrepareKeys();
    PasswordData read;
    LoadItem(item, read);
    EXPECT_EQ(read.unlockMode, 2);
}

TEST_F(StoredItems, ItemKeyCarriesProductAccessList)
{
    ASSERT_EQ(SettingStore::SavePasswordData(SamplePasswordData()), 1);
    const std::vector<AclTestSupport::AceView> aces = AclTestSupport::KeyAces(ItemKeyPath(), kProductKeyView);
    AclTestSupport::ExpectProductList(aces);
    const AclTestSupport::AceView* interactive = AclTestSupport::Find(aces, L"S-1-5-4");
    ASSERT_NE(interactive, nullptr);
    EXPECT_EQ(interactive->mask & (WRITE_DAC | WRITE_OWNER), 0u);
}

TEST_F(StoredItems, TimeStampRoundTripsAs32Bytes)
{
    PrepareKeys();
    SettingTimeStampIO item(StoreConstants::kProductKeyPath);
    SettingTimeStamp stamp;
    stamp.time = 0x5F000000;
    SaveItem(item, stamp);
    EXPECT_EQ(RawValue(StoreConstants::kTimeStampValue).size(), 32u);
    SettingTimeStamp read;
    LoadItem(item, read);
    EXPECT_EQ(read.time, 0x5F000000);
}

TEST_F(StoredItems, TimeStampOfTwelveBytesReadsAsZero)
{
    PrepareKeys();
    // A valid container around a 12-byte payload, under the time stamp's own key.
    std::unique_ptr<DigestSession> digest = CreateMd5DigestSession();
    CipherPair cipher;
    ASSERT_EQ(KeyAesCbc(cipher, StoreConstants::kTimeStampKey, 16), 0);
    RecordSerializer serializer(std::string(), digest.get(), &cipher);
    const std::vector<BYTE> payload(12, 0x01);
    serializer.SetSource(&payload);
    std::vector<BYTE> stored;
    serializer.Serialize(stored);
    ASSERT_EQ(stored.size(), 32u);
    SetRawValue(StoreConstants::kTimeStampValue, REG_BINARY, stored);

    SettingTimeStampIO item(StoreConstants::kProductKeyPath);
    SettingTimeStamp stamp;
    stamp.time = 5;
    EXPECT_THROW(LoadItem(item, stamp), Data::IParser::_throws);
    EXPECT_EQ(stamp.time, 0);
}

TEST_F(StoredItems, StampCurrentTimeNeedsAStamp)
{
    EXPECT_EQ(StampCurrentTime(nullptr), 0);
    SettingTimeStamp stamp;
    EXPECT_EQ(StampCurrentTime(&stamp), 1);
    EXPECT_GT(stamp.time, 1600000000);
}

TEST_F(StoredItems, ImportTimeFileIs64BytesAndRoundTrips)
{
    std::vector<BYTE> key;
    BuildRunTimeKey(FileKeySource(Material()), key);
    ASSERT_TRUE(CreateFolderTree(GetProductFolder(), nullptr));
    // A longer file in the way is replaced whole.
    WriteWholeFile(GetImportedFilePath(), std::vector<BYTE>(500, 0x77));

    ExportTimeImportedFileIO item(key.data(), 16, GetImportedFilePath());
    ImportTimeRecord record;
    SaveItem(item, record);
    std::vector<BYTE> bytes;
    ReadWholeFile(GetImportedFilePath(), bytes);
    EXPECT_EQ(bytes.size(), 64u);

    record.exportTime.time = 1700000000;
    record.importTime.time = 1700000500;
    SaveItem(item, record);
    ImportTimeRecord read;
    LoadItem(item, read);
    EXPECT_EQ(read.exportTime.time, 1700000000);
    EXPECT_EQ(read.importTime.time, 1700000500);

    const DWORD other[2] = {1, 2};
    std::vector<BYTE> otherKey;
    BuildRunTimeKey(FileKeySource(other), otherKey);
    ExportTimeImportedFileIO foreign(otherKey.data(), 16, GetImportedFilePath());
    EXPECT_THROW(LoadItem(foreign, read), Data::IParser::_throws);
}

TEST_F(StoredItems, EmptyImportTimeFileIsRefused)
{
    std::vector<BYTE> key;
    BuildRunTimeKey(FileKeySource(Material()), key);
    ASSERT_TRUE(CreateFolderTree(GetProductFolder(), nullptr));
    WriteWholeFile(GetImportedFilePath(), {});
    ExportTimeImportedFileIO item(key.data(), 16, GetImportedFilePath());
    ImportTimeRecord read;
    EXPECT_THROW(LoadItem(item, read), Data::IParser::_throws);
}
