#include "core/store/ItemPayloads.h"

#include "core/data/DataInterfaces.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/SettingTimeStamp.h"

#include <gtest/gtest.h>

using namespace Quelmar;

namespace {

PasswordData SamplePasswordData()
{
    PasswordData data;
    data.passwordSet = 1;
    data.passwordDigest = std::vector<BYTE>(16, 0xAB);
    data.keyDeviceSet = 1;
    data.keyDevice.vendorId = 0x0781;
    data.keyDevice.productId = 0x5567;
    data.keyDevice.serialNumber = _T("S1");
    data.unlockMode = 2;
    return data;
}

void ExpectDefaults(const PasswordData& data)
{
    EXPECT_EQ(data.passwordSet, 0);
    EXPECT_TRUE(data.passwordDigest.empty());
    EXPECT_EQ(data.keyDeviceSet, 0);
    EXPECT_EQ(data.keyDevice.vendorId, 0);
    EXPECT_EQ(data.keyDevice.productId, 0);
    EXPECT_TRUE(data.keyDevice.serialNumber.IsEmpty());
    EXPECT_EQ(data.unlockMode, 0);
}

template <typename Record>
bool ParseRefused(void (*parse)(const std::vector<BYTE>&, Record*), const std::vector<BYTE>& payload, Record* bound)
{
    try {
        parse(payload, bound);
        return false;
    } catch (Data::IParser::_throws e) {
        return e == 1;
    }
}

}  // namespace

TEST(PasswordPayload, EmptyRecordIs28Bytes)
{
    PasswordData data;
    std::vector<BYTE> out;
    SerializePasswordPayload(&data, out);
    EXPECT_EQ(out, (std::vector<BYTE>{0x00, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PasswordPayload, DigestAndSerialGive48Bytes)
{
    const PasswordData data = SamplePasswordData();
    std::vector<BYTE> out;
    SerializePasswordPayload(&data, out);
    ASSERT_EQ(out.size(), 48u);
    EXPECT_EQ(std::vector<BYTE>(out.begin() + 4, out.begin() + 12), (std::vector<BYTE>{1, 0, 0, 0, 16, 0, 0, 0}));
    EXPECT_EQ(std::vector<BYTE>(out.begin() + 28, out.end()),
              (std::vector<BYTE>{1, 0, 0, 0, 0x81, 0x07, 0x67, 0x55, 4, 0, 0, 0, 'S', 0, '1', 0, 2, 0, 0, 0}));
}

TEST(PasswordPayload, RoundTrips)
{
    const PasswordData data = SamplePasswordData();
    std::vector<BYTE> out;
    SerializePasswordPayload(&data, out);
    PasswordData read;
    ParsePasswordPayload(out, &read);
    EXPECT_EQ(read.passwordSet, 1);
    EXPECT_EQ(read.passwordDigest, data.passwordDigest);
    EXPECT_EQ(read.keyDeviceSet, 1);
    EXPECT_EQ(read.keyDevice.vendorId, 0x0781);
    EXPECT_EQ(read.keyDevice.productId, 0x5567);
    EXPECT_EQ(read.keyDevice.serialNumber, CString(_T("S1")));
    EXPECT_EQ(read.unlockMode, 2);
}

TEST(PasswordPayload, RefusedPayloadLeavesDefaults)
{
    std::vector<BYTE> good;
    const PasswordData sample = SamplePasswordData();
    SerializePasswordPayload(&sample, good);

    std::vector<std::vector<BYTE>> bad;
    for (size_t length = 0; length < good.size(); ++length) {
        bad.emplace_back(good.begin(), good.begin() + length);
    }
    std::vector<BYTE> extra = good;
    extra.push_back(0);
    bad.push_back(extra);
    std::vector<BYTE> wrongTag = good;
    wrongTag[0] = 0x01;
    bad.push_back(wrongTag);

    for (const std::vector<BYTE>& payload : bad) {
        PasswordData data = SamplePasswordData();
        EXPECT_TRUE(ParseRefused(ParsePasswordPayload, payload, &data)) << payload.size();
        ExpectDefaults(data);
    }
    EXPECT_TRUE(ParseRefused<PasswordData>(ParsePasswordPayload, good, nullptr));
    std::vector<BYTE> out;
    EXPECT_THROW(SerializePasswordPayload(nullptr, out), Data::ISerializer::_throws);
}

TEST(PasswordPayload, SerialIsKeptUpToFirstZero)
{
    std::vector<BYTE> payload;
    PasswordData data;
    SerializePasswordPayload(&data, payload);
    // Replace the empty serial by "A\0B".
    payload.erase(payload.begin() + 20, payload.begin() + 24);
    const std::vector<BYTE> serial = {6, 0, 0, 0, 'A', 0, 0, 0, 'B', 0};
    payload.insert(payload.begin() + 20, serial.begin(), serial.end());
    PasswordData read;
    ParsePasswordPayload(payload, &read);
    EXPECT_EQ(read.keyDevice.serialNumber, CString(_T("A")));
}

TEST(TimeStampPayload, IsEightBytesLowHalfFirst)
{
    SettingTimeStamp stamp;
    stamp.time = 0x5F000000;
    std::vector<BYTE> out;
    SerializeTimeStampPayload(&stamp, out);
    EXPECT_EQ(out, (std::vector<BYTE>{0, 0, 0, 0x5F, 0, 0, 0, 0}));
    SettingTimeStamp read;
    ParseTimeStampPayload(out, &read);
    EXPECT_EQ(read.time, 0x5F000000);
}

TEST(TimeStampPayload, OtherSizesReadAsZero)
{
    for (size_t size : {0, 1, 7, 9, 12, 16}) {
        SettingTimeStamp stamp;
        stamp.time = 99;
        EXPECT_TRUE(ParseRefused(ParseTimeStampPayload, std::vector<BYTE>(size, 1), &stamp)) << size;
        EXPECT_EQ(stamp.time, 0);
    }
}

TEST(ImportTimePayload, IsSixteenBytesAndRoundTrips)
{
    ImportTimeRecord record;
    record.exportTime.time = 0x0000000100000002LL;
    record.importTime.time = -1;
    std::vector<BYTE> out;
    SerializeImportTimePayload(&record, out);
    EXPECT_EQ(out, (std::vector<BYTE>{2, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    ImportTimeRecord read;
    ParseImportTimePayload(out, &read);
    EXPECT_EQ(read.exportTime.time, record.exportTime.time);
    EXPECT_EQ(read.importTime.time, -1);
}

TEST(ImportTimePayload, OtherSizesLeaveZeroTimes)
{
    for (size_t size : {0, 8, 15, 17, 24}) {
        ImportTimeRecord record;
        record.exportTime.time = 5;
        record.importTime.time = 6;
        EXPECT_TRUE(ParseRefused(ParseImportTimePayload, std::vector<BYTE>(size, 1), &record)) << size;
        EXPECT_EQ(record.exportTime.time, 0);
        EXPECT_EQ(record.importTime.time, 0);
    }
}
