#include "core/format/SettingSerializerV3.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace Quelmar;

typedef std::vector<BYTE> Bytes;

// Spells expected payloads out by hand, independently of DataSerializer.
class Golden {
public:
    Golden& u16(unsigned v) { return raw({BYTE(v), BYTE(v >> 8)}); }
    Golden& u32(unsigned long v) { return raw({BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}); }
    // ASCII text as a counted UTF-16 string.
    Golden& str(const std::string& ascii)
    {
        u32(2 * ascii.size());
        for (char c : ascii) {
            raw({BYTE(c), 0});
        }
        return *this;
    }
    Golden& raw(std::initializer_list<BYTE> b)
    {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    // ids, strings (serial, manufacturer, product), five flags, attribute.
    Golden& entry(unsigned vid, unsigned pid, const std::string& serial, const std::string& maker,
                  const std::string& product, std::initializer_list<unsigned long> flagsAndAttribute)
    {
        u16(vid).u16(pid).str(serial).str(maker).str(product);
        for (unsigned long v : flagsAndAttribute) {
            u32(v);
        }
        return *this;
    }
    Bytes bytes;
};

// control 1, N entries follow, then outside 2, portable 1, cd 0.
Golden Body1(Golden g, unsigned long count, const Golden& entries)
{
    g.u32(1).u32(count);
    g.bytes.insert(g.bytes.end(), entries.bytes.begin(), entries.bytes.end());
    return g.u32(2).u32(1).u32(0);
}

const Golden kOneEntry = Golden().entry(0x0781, 0x5567, "AA01", "Maker", "Stick", {1, 1, 1, 0, 0, 2});

Bytes V1Payload() { return Body1(Golden().u32(0x00040000), 1, kOneEntry).bytes; }
Bytes V2Payload() { return Body1(Golden().u32(0x10010000), 1, kOneEntry).u32(1).str("C:\\a.dat").bytes; }
Bytes V3Payload(unsigned long sd = 1)
{
    return Body1(Golden().u32(0x10020000), 1, kOneEntry).u32(1).str("C:\\a.dat").u32(sd).bytes;
}

Bytes Plus(Bytes b, std::initializer_list<BYTE> more)
{
    b.insert(b.end(), more);
    return b;
}

Bytes Without(Bytes b, size_t n)
{
    b.resize(b.size() - n);
    return b;
}

WhitelistEntry ExpectedEntry()
{
    WhitelistEntry e;
    e.vendorId = 0x0781;
    e.productId = 0x5567;
    e.serialNumber = _T("AA01");
    e.manufacturer = _T("Maker");
    e.product = _T("Stick");
    e.useVendorId = 1;
    e.useProductId = 1;
    e.useSerialNumber = 1;
    e.attribute = 2;
    return e;
}

SettingV3 ExpectedSetting()
{
    SettingV3 s;
    s.usbControlEnabled = 1;
    s.whitelist.push_back(ExpectedEntry());
    s.outsidePolicy = 2;
    s.blockPortableDevices = 1;
    s.blockCdWriting = 0;
    s.autoImport.importAtStart = 1;
    s.autoImport.importPath = _T("C:\\a.dat");
    s.blockInternalSd = 1;
    return s;
}

// ---- Writing -------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::function<Bytes()> write;
    Bytes expected;
};

TEST(SettingsFormat, WritesGoldenLayouts)
{
    const WriteCase cases[] = {
        {"empty version 3 record is 36 bytes",
         [] {
             SettingV3 s;
             s.usbControlEnabled = 1;
             s.outsidePolicy = 1;
             s.blockPortableDevices = 1;
             s.blockCdWriting = 1;
             s.blockInternalSd = 0;
             Bytes out;
             SettingSerializerV3().Write(s, out);
             return out;
         },
         {0x00, 0x00, 0x02, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"entry with empty strings takes 40 bytes",
         [] {
             SettingV3 s;
             s.usbControlEnabled = 0;
             s.outsidePolicy = 2;
             s.blockInternalSd = 0;
             WhitelistEntry e;
             e.vendorId = 0xFFFF;
             e.productId = 0x0102;
             e.useVendorId = 1;
             e.useProductId = -1;
             e.attribute = 0;
             s.whitelist.push_back(e);
             Bytes out;
             SettingSerializerV3().Write(s, out);
             return out;
         },
         Golden()
             .u32(0x10020000).u32(0).u32(1)
             .raw({0xFF, 0xFF, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
             .u32(1).u32(0xFFFFFFFF).u32(0).u32(0).u32(0).u32(0)
             .u32(2).u32(0).u32(0).u32(0).u32(0).u32(0)
             .bytes},
        {"version 3 with strings", [] {
             Bytes out;
             SettingSerializerV3().Write(ExpectedSetting(), out);
             return out;
         },
         V3Payload()},
        {"version 2", [] {
             Bytes out;
             SettingSerializerV2().Write(static_cast<const SettingV2&>(ExpectedSetting()), out);
             return out;
         },
         V2Payload()},
        {"version 1", [] {
             Bytes out;
             SettingSerializerV1().Write(static_cast<const SettingV1&>(ExpectedSetting()), out);
             return out;
         },
         V1Payload()},
        {"write puts formatTag first", [] {
             SettingSerializerV3 s;
             s.formatTag = 0xA1B2C3D4;
             Bytes out = {0xEE};
             s.Write(ExpectedSetting(), out);
             return Bytes(out.begin(), out.begin() + 4);
         },
         {0xD4, 0xC3, 0xB2, 0xA1}},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.write(), c.expected);
    }
    EXPECT_EQ(cases[0].expected.size(), 36u);
    EXPECT_EQ(cases[1].expected.size(), 36u + 40u);
}

TEST(SettingsFormat, NewSerializersCarryTheirVersionsTag)
{
    EXPECT_EQ(SettingSerializerV1().formatTag, 0x00040000u);
    EXPECT_EQ(SettingSerializerV2().formatTag, 0x10010000u);
    EXPECT_EQ(SettingSerializerV3().formatTag, 0x10020000u);
}

// ---- Reading -------------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    Bytes payload;
    BOOL v1, v2, v3;    // what each version's reader answers
};

TEST(SettingsFormat, ReadersAcceptExactlyTheirOwnVersion)
{
    const Bytes v1 = V1Payload();
    const Bytes v2 = V2Payload();
    const Bytes v3 = V3Payload();
    const ReadCase cases[] = {
        {"version 1", v1, TRUE, FALSE, FALSE},
        {"version 2", v2, FALSE, TRUE, FALSE},
        {"version 3", v3, FALSE, FALSE, TRUE},
        {"version 3 with blockInternalSd 0", V3Payload(0), FALSE, FALSE, TRUE},
        {"empty payload", {}, FALSE, FALSE, FALSE},
        {"three bytes", {0x00, 0x00, 0x02}, FALSE, FALSE, FALSE},
        {"tag alone", {0x00, 0x00, 0x02, 0x10}, FALSE, FALSE, FALSE},
        {"unknown tag", Golden().u32(0x10030000).bytes, FALSE, FALSE, FALSE},
        {"version 1 with a trailing byte", Plus(v1, {0}), FALSE, FALSE, FALSE},
        {"version 2 with a trailing byte", Plus(v2, {0}), FALSE, FALSE, FALSE},
        {"version 3 with a trailing byte", Plus(v3, {0}), FALSE, FALSE, FALSE},
        {"version 3 with four trailing bytes", Plus(v3, {0, 0, 0, 0}), FALSE, FALSE, FALSE},
        {"version 3 with blockInternalSd 2", V3Payload(2), FALSE, FALSE, FALSE},
        {"version 3 with blockInternalSd -1", V3Payload(0xFFFFFFFF), FALSE, FALSE, FALSE},
        {"version 3 without blockInternalSd", Without(v3, 4), FALSE, FALSE, FALSE},
        {"version 3 cut inside blockInternalSd", Without(v3, 1), FALSE, FALSE, FALSE},
        {"version 2 cut inside the path", Without(v2, 1), FALSE, FALSE, FALSE},
        {"version 1 cut inside the last switch", Without(v1, 1), FALSE, FALSE, FALSE},
        {"version 1 layout under the version 3 tag",
         Body1(Golden().u32(0x10020000), 1, kOneEntry).bytes, FALSE, FALSE, FALSE},
        {"version 3 body under the version 1 tag",
         Body1(Golden().u32(0x00040000), 1, kOneEntry).u32(1).str("C:\\a.dat").u32(1).bytes, FALSE, FALSE, FALSE},
        {"count beyond the entries present", Body1(Golden().u32(0x00040000), 2, kOneEntry).bytes, FALSE, FALSE, FALSE},
        {"count of 2^31-1", Body1(Golden().u32(0x00040000), 0x7FFFFFFF, kOneEntry).bytes, FALSE, FALSE, FALSE},
        {"negative count reads no entries", Body1(Golden().u32(0x00040000), 0xFFFFFFFF, Golden()).bytes,
         TRUE, FALSE, FALSE},
        {"most negative count reads no entries", Body1(Golden().u32(0x00040000), 0x80000000, Golden()).bytes,
         TRUE, FALSE, FALSE},
        {"negative count with entries behind it leaves them as trailing bytes",
         Body1(Golden().u32(0x00040000), 0xFFFFFFFF, kOneEntry).bytes, FALSE, FALSE, FALSE},
        {"odd path count shifts blockInternalSd",
         Body1(Golden().u32(0x10020000), 0, Golden()).u32(0).u32(3).raw({'A', 0, 0}).u32(0).bytes,
         FALSE, FALSE, FALSE},
        {"odd path count with one byte less reads",
         Body1(Golden().u32(0x10020000), 0, Golden()).u32(0).u32(3).raw({'A', 0, 1, 0, 0, 0}).bytes,
         FALSE, FALSE, TRUE},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        SettingV1 r1;
        SettingV2 r2;
        SettingV3 r3;
        EXPECT_EQ(SettingSerializerV1().Read(c.payload, r1), c.v1);
        EXPECT_EQ(SettingSerializerV2().Read(c.payload, r2), c.v2);
        EXPECT_EQ(SettingSerializerV3().Read(c.payload, r3), c.v3);
    }
}

TEST(SettingsFormat, ReadsGoldenVersion3IntoEveryField)
{
    SettingV3 s;
    SettingSerializerV3 reader;
    reader.formatTag = 0;
    ASSERT_EQ(reader.Read(V3Payload(), s), TRUE);
    EXPECT_EQ(reader.formatTag, 0x10020000u);
    EXPECT_EQ(EqualSettings(s, ExpectedSetting()), TRUE);
    EXPECT_EQ(s.blockInternalSd, 1);
}

TEST(SettingsFormat, OlderVersionsReadTheirFields)
{
    SettingV1 s1;
    ASSERT_EQ(SettingSerializerV1().Read(V1Payload(), s1), TRUE);
    EXPECT_EQ(s1.usbControlEnabled, 1);
    ASSERT_EQ(s1.whitelist.size(), 1u);
    EXPECT_EQ(EqualWhitelistEntries(s1.whitelist[0], ExpectedEntry()), TRUE);
    EXPECT_EQ(s1.outsidePolicy, 2);
    EXPECT_EQ(s1.blockPortableDevices, 1);
    EXPECT_EQ(s1.blockCdWriting, 0);

    SettingV2 s2;
    ASSERT_EQ(SettingSerializerV2().Read(V2Payload(), s2), TRUE);
    EXPECT_EQ(EqualSettings(s2, ExpectedSetting()), TRUE);
}

TEST(SettingsFormat, ReaderKeepsTheTagItFound)
{
    SettingV1 s;
    SettingSerializerV1 reader;
    EXPECT_EQ(reader.Read(V3Payload(), s), FALSE);
    EXPECT_EQ(reader.formatTag, 0x10020000u);
}

TEST(SettingsFormat, NegativeCountIsFollowedDirectlyByTheSwitches)
{
    SettingV1 s;
    const Bytes payload = Golden().u32(0x00040000).u32(1).u32(0xFFFFFFFE).u32(2).u32(0).u32(1).bytes;
    ASSERT_EQ(SettingSerializerV1().Read(payload, s), TRUE);
    EXPECT_TRUE(s.whitelist.empty());
    EXPECT_EQ(s.outsidePolicy, 2);
    EXPECT_EQ(s.blockPortableDevices, 0);
    EXPECT_EQ(s.blockCdWriting, 1);
}

TEST(SettingsFormat, FieldsAreTakenWithoutRangeChecks)
{
    const Bytes payload = Golden()
                              .u32(0x10020000).u32(7).u32(1)
                              .entry(1, 2, "", "", "", {5, 0xFFFFFFFF, 9, 0x80000000, 3, 0xFFFFFFFF})
                              .u32(0xFFFFFFFF).u32(42).u32(0xFFFFFFFE).u32(3).str("").u32(0)
                              .bytes;
    SettingV3 s;
    ASSERT_EQ(SettingSerializerV3().Read(payload, s), TRUE);
    EXPECT_EQ(s.usbControlEnabled, 7);
    EXPECT_EQ(s.whitelist[0].useVendorId, 5);
    EXPECT_EQ(s.whitelist[0].useProductId, -1);
    EXPECT_EQ(s.whitelist[0].useManufacturer, INT32_MIN);
    EXPECT_EQ(s.whitelist[0].attribute, -1);
    EXPECT_EQ(s.outsidePolicy, -1);
    EXPECT_EQ(s.blockPortableDevices, 42);
    EXPECT_EQ(s.blockCdWriting, -2);
    EXPECT_EQ(s.autoImport.importAtStart, 3);
}

TEST(SettingsFormat, StringsKeepTheirTextBeforeTheFirstZero)
{
    const Bytes payload = Golden()
                              .u32(0x00040000).u32(1).u32(1)
                              .u16(1).u16(2)
                              .u32(6).raw({'A', 0, 0, 0, 'B', 0})      // serial "A\0B"
                              .u32(2).raw({0, 0})                       // manufacturer "\0"
                              .u32(4).raw({0x42, 0x30, 0x44, 0x30})     // product in kana
                              .u32(0).u32(0).u32(0).u32(0).u32(0).u32(0)
                              .u32(1).u32(0).u32(0)
                              .bytes;
    SettingV1 s;
    ASSERT_EQ(SettingSerializerV1().Read(payload, s), TRUE);
    EXPECT_EQ(s.whitelist[0].serialNumber, CString(_T("A")));
    EXPECT_TRUE(s.whitelist[0].manufacturer.IsEmpty());
    EXPECT_EQ(s.whitelist[0].product, CString(_T("\u3042\u3044")));
}

TEST(SettingsFormat, FailedEntryAppendsNothingOfIt)
{
    // The second entry's serial claims more bytes than follow; the count itself passes the
    // size check because enough bytes are left for two smallest entries.
    const Bytes payload = Golden()
                              .u32(0x00040000).u32(1).u32(2)
                              .entry(1, 1, "", "", "", {0, 0, 0, 0, 0, 0})
                              .u16(2).u16(2).u32(200).raw({'X', 0})
                              .raw(std::initializer_list<BYTE>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
                              .bytes;
    SettingV1 s;
    EXPECT_EQ(SettingSerializerV1().Read(payload, s), FALSE);
    ASSERT_EQ(s.whitelist.size(), 1u);
    EXPECT_EQ(s.whitelist[0].vendorId, 1);
}

TEST(SettingsFormat, HugeCountFailsBeforeAnyEntryIsMade)
{
    // 80 bytes follow the count: not enough for three entries of at least 40 bytes, so
    // nothing is read or appended at all.
    SettingV1 s;
    EXPECT_EQ(SettingSerializerV1().Read(Body1(Golden().u32(0x00040000), 3, kOneEntry).bytes, s), FALSE);
    EXPECT_TRUE(s.whitelist.empty());
    EXPECT_EQ(s.whitelist.capacity(), 0u);
}

TEST(SettingsFormat, ReadAppendsToTheWhitelistItIsGiven)
{
    SettingV3 s;
    s.whitelist.push_back(WhitelistEntry());
    ASSERT_EQ(SettingSerializerV3().Read(V3Payload(), s), TRUE);
    EXPECT_EQ(s.whitelist.size(), 2u);
}

}  // namespace
