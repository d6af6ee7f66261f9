#include "core/store/InstallSettingFile.h"

#include "install_setting_golden.h"

#include <gtest/gtest.h>

using namespace Quelmar;

namespace {

using Quelmar::CInstallSettingFilePlusV1;
using Quelmar::CInstallSettingFilePlusV2;

InstallSettingData SampleData()
{
    InstallSettingData data;
    data.usbControlEnabled = 1;
    data.outsidePolicy = 2;
    data.blockPortableDevices = 1;
    data.blockCdWriting = 0;
    WhitelistEntry entry;
    entry.vendorId = 0x1234;
    entry.productId = 0xABCD;
    entry.serialNumber = _T("SN");
    entry.manufacturer = _T("M");
    entry.product = _T("P");
    entry.useVendorId = 1;
    entry.useProductId = 1;
    entry.useSerialNumber = 1;
    entry.useManufacturer = 0;
    entry.useProduct = 0;
    entry.attribute = 2;
    data.whitelist.push_back(entry);
    data.passwordSet = 1;
    data.passwordDigest = std::vector<BYTE>(16, 0x3C);
    data.keyDeviceSet = 1;
    data.keyDevice.vendorId = 0x0781;
    data.keyDevice.productId = 0x5567;
    data.keyDevice.serialNumber = _T("KEY");
    data.unlockMode = 1;
    data.settingTimeStamp = 0x0102030405060708LL;
    data.autoImport.importAtStart = 1;
    data.autoImport.importPath = _T("C:\\x");
    data.exportTime.time = 0x1122334455667788LL;
    data.blockInternalSd = 1;
    return data;
}

std::vector<BYTE> WriteV3(const InstallSettingData& data)
{
    CInstallSettingFilePlusV2 file(_T("QEVRINInstallSetting.dat"));
    file.formatTag = kInstallSettingTagV3;
    std::vector<BYTE> out;
    file.WriteV3(data, out);
    return out;
}

// 0 read, else 100 + the value of CInstallSettingFilePlusV1::_throws or 200 + that of V2.
int ReadV3(const std::vector<BYTE>& payload, InstallSettingData& data)
{
    CInstallSettingFilePlusV2 file(_T("QEVRINInstallSetting.dat"));
    try {
        file.ReadV3(payload, data);
        return 0;
    } catch (CInstallSettingFilePlusV1::_throws e) {
        return 100 + e;
    } catch (CInstallSettingFilePlusV2::_throws e) {
        return 200 + e;
    }
}

void PutU32(std::vector<BYTE>& bytes, size_t at, DWORD value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
    }
}

// Offsets in the payload of an empty record.
const size_t kCountOffset = 20;
const size_t kEmptyBody1End = 4 + 16 + 4 + 4 + 4 + 4 + 2 + 2 + 4 + 4 + 8;

}  // namespace

TEST(InstallSettingFile, EmptyRecordLayout)
{
    InstallSettingData data;
    const std::vector<BYTE> payload = WriteV3(data);
    // tag, 4 ints, count, passwordSet, digest count, keyDeviceSet, 2 ids, serial count,
    // unlockMode, stamp, importAtStart, path count, export time, internal SD.
    ASSERT_EQ(payload.size(), kEmptyBody1End + 4 + 4 + 8 + 4);
    EXPECT_EQ(std::vector<BYTE>(payload.begin(), payload.begin() + 12), (std::vector<BYTE>{0, 0, 3, 0x10, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::vector<BYTE>(payload.end() - 4, payload.end()), (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(InstallSettingFile, EntryFollowsTheSettingLayout)
{
    InstallSettingData data;
    WhitelistEntry entry;
    entry.vendorId = 0x1234;
    entry.attribute = 0;
    data.whitelist.push_back(entry);
    data.blockInternalSd = 0;
    const std::vector<BYTE> payload = WriteV3(data);
    EXPECT_EQ(payload.size(), kEmptyBody1End + 20 + 40);
    EXPECT_EQ(std::vector<BYTE>(payload.begin() + 20, payload.begin() + 26), (std::vector<BYTE>{1, 0, 0, 0, 0x34, 0x12}));
}

// The layout is pinned by an image made by hand: a field swapped alike in reader and writer
// would still round-trip, but would no longer read a file from another PC.
TEST(InstallSettingFile, WritesAndReadsTheLayoutByteForByte)
{
    const std::vector<BYTE> golden = golden::DistinctPayload();
    EXPECT_EQ(WriteV3(golden::DistinctRecord()), golden);

    InstallSettingData read;
    ASSERT_EQ(ReadV3(golden, read), 0);
    const InstallSettingData want = golden::DistinctRecord();
    EXPECT_EQ(read.usbControlEnabled, want.usbControlEnabled);
    EXPECT_EQ(read.outsidePolicy, want.outsidePolicy);
    EXPECT_EQ(read.blockPortableDevices, want.blockPortableDevices);
    EXPECT_EQ(read.blockCdWriting, want.blockCdWriting);
    ASSERT_EQ(read.whitelist.size(), want.whitelist.size());
    for (size_t i = 0; i < want.whitelist.size(); ++i) {
        const WhitelistEntry& entry = read.whitelist[i];
        const WhitelistEntry& expected = want.whitelist[i];
        EXPECT_EQ(entry.vendorId, expected.vendorId) << i;
        EXPECT_EQ(entry.productId, expected.productId) << i;
        EXPECT_EQ(entry.serialNumber, expected.serialNumber) << i;
        EXPECT_EQ(entry.manufacturer, expected.manufacturer) << i;
        EXPECT_EQ(entry.product, expected.product) << i;
        EXPECT_EQ(entry.useVendorId, expected.useVendorId) << i;
        EXPECT_EQ(entry.useProductId, expected.useProductId) << i;
        EXPECT_EQ(entry.useSerialNumber, expected.useSerialNumber) << i;
        EXPECT_EQ(entry.useManufacturer, expected.useManufacturer) << i;
        EXPECT_EQ(entry.useProduct, expected.useProduct) << i;
        EXPECT_EQ(entry.attribute, expected.attribute) << i;
    }
    EXPECT_EQ(read.passwordSet, want.passwordSet);
    EXPECT_EQ(read.passwordDigest, want.passwordDigest);
    EXPECT_EQ(read.keyDeviceSet, want.keyDeviceSet);
    EXPECT_EQ(read.keyDevice.vendorId, want.keyDevice.vendorId);
    EXPECT_EQ(read.keyDevice.productId, want.keyDevice.productId);
    EXPECT_EQ(read.keyDevice.serialNumber, want.keyDevice.serialNumber);
    EXPECT_EQ(read.unlockMode, want.unlockMode);
    EXPECT_EQ(read.settingTimeStamp, want.settingTimeStamp);
    EXPECT_EQ(read.autoImport.importAtStart, want.autoImport.importAtStart);
    EXPECT_EQ(read.autoImport.importPath, want.autoImport.importPath);
    EXPECT_EQ(read.exportTime.time, want.exportTime.time);
    EXPECT_EQ(read.blockInternalSd, want.blockInternalSd);
}

TEST(InstallSettingFile, RoundTripsVersion3)
{
    const InstallSettingData data = SampleData();
    InstallSettingData read;
    ASSERT_EQ(ReadV3(WriteV3(data), read), 0);
    EXPECT_EQ(read.usbControlEnabled, 1);
    EXPECT_EQ(read.outsidePolicy, 2);
    EXPECT_EQ(read.blockPortableDevices, 1);
    EXPECT_EQ(read.blockCdWriting, 0);
    ASSERT_EQ(read.whitelist.size(), 1u);
    EXPECT_EQ(read.whitelist[0].vendorId, 0x1234);
    EXPECT_EQ(read.whitelist[0].productId, 0xABCD);
    EXPECT_EQ(read.whitelist[0].serialNumber, CString(_T("SN")));
    EXPECT_EQ(read.whitelist[0].manufacturer, CString(_T("M")));
    EXPECT_EQ(read.whitelist[0].product, CString(_T("P")));
    EXPECT_EQ(read.whitelist[0].useSerialNumber, 1);
    EXPECT_EQ(read.whitelist[0].useManufacturer, 0);
    EXPECT_EQ(read.whitelist[0].attribute, 2);
    EXPECT_EQ(read.passwordDigest, data.passwordDigest);
    EXPECT_EQ(read.keyDevice.serialNumber, CString(_T("KEY")));
    EXPECT_EQ(read.unlockMode, 1);
    EXPECT_EQ(read.settingTimeStamp, data.settingTimeStamp);
    EXPECT_EQ(read.autoImport.importAtStart, 1);
    EXPECT_EQ(read.autoImport.importPath, CString(_T("C:\\x")));
    EXPECT_EQ(read.exportTime.time, data.exportTime.time);
    EXPECT_EQ(read.blockInternalSd, 1);
}

TEST(InstallSettingFile, RefusesOtherTagsAndBadValues)
{
    struct Case {
        const char* what;
        size_t offset;   // from the end when fromEnd
        bool fromEnd;
        DWORD value;
        int result;
    };
    const Case cases[] = {
        {"tag of format 0x10020000", 0, false, kInstallSettingTagV2, 203},
        {"tag of format 0x10010000", 0, false, kInstallSettingTagV1, 203},
        {"internal SD flag 2", 4, true, 2, 202},
        {"internal SD flag -1", 4, true, 0xFFFFFFFF, 202},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> payload = WriteV3(SampleData());
        PutU32(payload, c.fromEnd ? payload.size() - c.offset : c.offset, c.value);
        InstallSettingData read;
        EXPECT_EQ(ReadV3(payload, read), c.result) << c.what;
    }
    std::vector<BYTE> extra = WriteV3(SampleData());
    extra.push_back(0);
    InstallSettingData read;
    EXPECT_EQ(ReadV3(extra, read), 202);
}

TEST(InstallSettingFile, TruncationInsideBody1IsItsOwnFailure)
{
    const std::vector<BYTE> payload = WriteV3(SampleData());
    const size_t body1End = payload.size() - (4 + 4 + 8 + 8 + 4);  // importAtStart, path "C:\x", export, SD
    for (size_t length = 0; length < payload.size(); ++length) {
        InstallSettingData read;
        int expected = length < 4 ? 202 : (length < body1End ? 102 : 202);
        EXPECT_EQ(ReadV3(std::vector<BYTE>(payload.begin(), payload.begin() + length), read), expected) << length;
    }
}

TEST(InstallSettingFile, NegativeCountReadsAsEmptyWhitelist)
{
    InstallSettingData data;
    data.blockInternalSd = 0;
    std::vector<BYTE> payload = WriteV3(data);
    PutU32(payload, kCountOffset, 0xFFFFFFFF);
    InstallSettingData read;
    ASSERT_EQ(ReadV3(payload, read), 0);
    EXPECT_TRUE(read.whitelist.empty());
    EXPECT_EQ(read.blockInternalSd, 0);
}

TEST(InstallSettingFile, OlderFormatsRoundTripInTheirOwnClass)
{
    const InstallSettingData data = SampleData();
    CInstallSettingFilePlusV2 file(_T("x.dat"));
    std::vector<BYTE> payload;
    file.formatTag = kInstallSettingTagV1;
    file.WriteV1(data, payload);
    InstallSettingData read1;
    file.ReadV1(payload, read1);
    EXPECT_EQ(read1.settingTimeStamp, data.settingTimeStamp);
    EXPECT_EQ(read1.autoImport.importAtStart, 0);

    file.formatTag = kInstallSettingTagV2;
    file.WriteV2(data, payload);
    InstallSettingData read2;
    file.ReadV2(payload, read2);
    EXPECT_EQ(read2.exportTime.time, data.exportTime.time);
    EXPECT_EQ(read2.blockInternalSd, -1);
    EXPECT_THROW(file.ReadV1(payload, read1), CInstallSettingFilePlusV1::_throws);
}
