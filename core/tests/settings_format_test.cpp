#include "core/format/SettingSerializerV3.h"
#include "core/model/SettingDefaults.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace Quelmar;

typedef std::vector<BYTE> Bytes;

// Spells payloads out by hand, independently of DataSerializer.
struct Golden {
    Golden& raw(std::initializer_list<BYTE> b) { bytes.insert(bytes.end(), b); return *this; }
    Golden& u16(unsigned v) { return raw({BYTE(v), BYTE(v >> 8)}); }
    Golden& u32(unsigned long v) { return raw({BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}); }
    Golden& str(const std::string& ascii)   // as a counted UTF-16 string
    {
        u32(2 * ascii.size());
        for (char c : ascii) {
            raw({BYTE(c), 0});
        }
        return *this;
    }
    Golden& add(const Golden& g) { bytes.insert(bytes.end(), g.bytes.begin(), g.bytes.end()); return *this; }
    Bytes bytes;
};

// 0781:5567 "AA01" "Maker" "Stick", vendor, product and serial selected, read-only.
const Golden kStick = Golden().u16(0x0781).u16(0x5567).str("AA01").str("Maker").str("Stick")
                          .u32(1).u32(1).u32(1).u32(0).u32(0).u32(2);

// control 1, the entries, outside 2, portable 1, cd 0.
Golden Body1(DWORD tag, unsigned long count, const Golden& entries)
{
    return Golden().u32(tag).u32(1).u32(count).add(entries).u32(2).u32(1).u32(0);
}
Golden Body2(DWORD tag, unsigned long count, const Golden& entries)
{
    return Body1(tag, count, entries).u32(1).str("C:\\a.dat");
}
Bytes V1() { return Body1(0x00040000, 1, kStick).bytes; }
Bytes V2() { return Body2(0x10010000, 1, kStick).bytes; }
Bytes V3(unsigned long sd = 1) { return Body2(0x10020000, 1, kStick).u32(sd).bytes; }
Bytes Plus(Bytes b, std::initializer_list<BYTE> more) { b.insert(b.end(), more); return b; }
Bytes Cut(Bytes b, size_t n) { b.resize(b.size() - n); return b; }

SettingV3 StickSetting()
{
    SettingV3 s;
    s.usbControlEnabled = 1;
    WhitelistEntry e;
    e.vendorId = 0x0781;
    e.productId = 0x5567;
    e.serialNumber = _T("AA01");
    e.manufacturer = _T("Maker");
    e.product = _T("Stick");
    e.useVendorId = e.useProductId = e.useSerialNumber = 1;
    e.attribute = 2;
    s.whitelist.push_back(e);
    s.outsidePolicy = 2;
    s.blockPortableDevices = 1;
    s.blockCdWriting = 0;
    s.autoImport.importAtStart = 1;
    s.autoImport.importPath = _T("C:\\a.dat");
    s.blockInternalSd = 1;
    return s;
}

SettingV3 EmptyDefaults()
{
    SettingV3 s;
    SettingStore::SetDefaultSettings(s);
    return s;
}

SettingV3 OneBlankEntry()
{
    SettingV3 s = EmptyDefaults();
    WhitelistEntry e;
    e.vendorId = 0xFFFF;
    e.productId = 0x0102;
    e.useProductId = -1;
    e.attribute = 0;
    s.whitelist.push_back(e);
    return s;
}

// The record of the version in question, compared with the fields that version holds.
bool SameAsVersion(int version, const SettingV3& a, const SettingV3& b)
{
    if (version == 1) {
        return a.usbControlEnabled == b.usbControlEnabled && EqualWhitelists(a.whitelist, b.whitelist) &&
               a.outsidePolicy == b.outsidePolicy && a.blockPortableDevices == b.blockPortableDevices &&
               a.blockCdWriting == b.blockCdWriting;
    }
    return EqualSettings(a, b) && (version == 2 || a.blockInternalSd == b.blockInternalSd);
}

Bytes Write(int version, const SettingV3& s)
{
    Bytes out;
    SettingSerializerV3 serializer;     // formatTag is set to the version's tag below
    serializer.formatTag = version == 1 ? SettingFormatTagV1 : version == 2 ? SettingFormatTagV2 : SettingFormatTagV3;
    if (version == 1) {
        serializer.Write(static_cast<const SettingV1&>(s), out);
    } else if (version == 2) {
        serializer.Write(static_cast<const SettingV2&>(s), out);
    } else {
        serializer.Write(s, out);
    }
    return out;
}

BOOL Read(int version, const Bytes& payload, SettingV3& s)
{
    SettingSerializerV3 serializer;
    return version == 1 ? serializer.Read(payload, static_cast<SettingV1&>(s))
         : version == 2 ? serializer.Read(payload, static_cast<SettingV2&>(s))
                        : serializer.Read(payload, s);
}

struct GoldenCase {
    const char* name;
    int version;
    SettingV3 setting;
    Bytes bytes;
};

TEST(SettingsFormat, GoldenLayoutsWriteAndReadBack)
{
    const GoldenCase cases[] = {
        {"empty version 3 record is 36 bytes", 3, EmptyDefaults(),
         {0x00, 0x00, 0x02, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
          1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"entry with empty strings is 40 bytes", 3, OneBlankEntry(),
         Golden().u32(0x10020000).u32(1).u32(1)
             .raw({0xFF, 0xFF, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
             .u32(0).u32(0xFFFFFFFF).u32(0).u32(0).u32(0).u32(0)
             .u32(1).u32(1).u32(1).u32(0).u32(0).u32(0).bytes},
        {"version 3", 3, StickSetting(), V3()},
        {"version 2", 2, StickSetting(), V2()},
        {"version 1", 1, StickSetting(), V1()},
    };
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Write(c.version, c.setting), c.bytes);
        SettingV3 read;
        ASSERT_EQ(Read(c.version, c.bytes, read), TRUE);
        EXPECT_TRUE(SameAsVersion(c.version, read, c.setting));
    }
    EXPECT_EQ(cases[0].bytes.size(), 36u);
    EXPECT_EQ(cases[1].bytes.size(), 36u + 40u);
}

TEST(SettingsFormat, FormatTagIsWhatWriteWritesAndReadFound)
{
    EXPECT_EQ(SettingSerializerV1().formatTag, 0x00040000u);
    EXPECT_EQ(SettingSerializerV2().formatTag, 0x10010000u);
    SettingSerializerV3 serializer;
    EXPECT_EQ(serializer.formatTag, 0x10020000u);

    SettingV1 s;
    EXPECT_EQ(serializer.Read(V2(), s), FALSE);     // wrong version, but its tag is kept
    EXPECT_EQ(serializer.formatTag, 0x10010000u);
    Bytes out;
    serializer.Write(s, out);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0x10}));
}

struct ReadCase {
    const char* name;
    Bytes payload;
    BOOL v1, v2, v3;    // what each version's reader answers
};

TEST(SettingsFormat, ReadersAcceptExactlyTheirOwnVersion)
{
    const ReadCase cases[] = {
        {"version 1", V1(), TRUE, FALSE, FALSE},
        {"version 2", V2(), FALSE, TRUE, FALSE},
        {"version 3", V3(), FALSE, FALSE, TRUE},
        {"version 3 with blockInternalSd 0", V3(0), FALSE, FALSE, TRUE},
        {"empty payload", {}, FALSE, FALSE, FALSE},
        {"three bytes", {0x00, 0x00, 0x02}, FALSE, FALSE, FALSE},
        {"tag alone", {0x00, 0x00, 0x02, 0x10}, FALSE, FALSE, FALSE},
        {"unknown tag", Body2(0x10030000, 0, Golden()).u32(0).bytes, FALSE, FALSE, FALSE},
        {"version 1 with a trailing byte", Plus(V1(), {0}), FALSE, FALSE, FALSE},
        {"version 2 with a trailing byte", Plus(V2(), {0}), FALSE, FALSE, FALSE},
        {"version 3 with a trailing byte", Plus(V3(), {0}), FALSE, FALSE, FALSE},
        {"version 3 with blockInternalSd 2", V3(2), FALSE, FALSE, FALSE},
        {"version 3 with blockInternalSd -1", V3(0xFFFFFFFF), FALSE, FALSE, FALSE},
        {"version 3 without blockInternalSd", Cut(V3(), 4), FALSE, FALSE, FALSE},
        {"version 3 cut inside blockInternalSd", Cut(V3(), 1), FALSE, FALSE, FALSE},
        {"version 2 cut inside the path", Cut(V2(), 1), FALSE, FALSE, FALSE},
        {"version 1 body under the version 3 tag", Body1(0x10020000, 1, kStick).bytes, FALSE, FALSE, FALSE},
        {"version 3 body under the version 1 tag", Body2(0x00040000, 1, kStick).u32(1).bytes, FALSE, FALSE, FALSE},
        {"count beyond the entries present", Body1(0x00040000, 2, kStick).bytes, FALSE, FALSE, FALSE},
        {"count of 2^31-1", Body1(0x00040000, 0x7FFFFFFF, kStick).bytes, FALSE, FALSE, FALSE},
        {"negative count reads no entries", Body1(0x00040000, 0xFFFFFFFF, Golden()).bytes, TRUE, FALSE, FALSE},
        {"most negative count reads no entries", Body1(0x00040000, 0x80000000, Golden()).bytes, TRUE, FALSE, FALSE},
        {"entries behind a negative count are left over", Body1(0x00040000, 0xFFFFFFFF, kStick).bytes,
         FALSE, FALSE, FALSE},
        // The odd path count leaves one byte that becomes the first byte of blockInternalSd.
        {"odd path count shifts blockInternalSd",
         Body1(0x10020000, 0, Golden()).u32(0).u32(3).raw({'A', 0, 0}).u32(0).bytes, FALSE, FALSE, FALSE},
        {"odd path count with one byte less reads",
         Body1(0x10020000, 0, Golden()).u32(0).u32(3).raw({'A', 0, 1, 0, 0, 0}).bytes, FALSE, FALSE, TRUE},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int version = 1; version <= 3; ++version) {
            SettingV3 s;
            EXPECT_EQ(Read(version, c.payload, s), version == 1 ? c.v1 : version == 2 ? c.v2 : c.v3)
                << "version " << version;
        }
    }
}

TEST(SettingsFormat, StringsKeepTheirTextBeforeTheFirstZero)
{
    const Golden entry = Golden().u16(1).u16(2)
                             .u32(6).raw({'A', 0, 0, 0, 'B', 0})    // serial "A\0B"
                             .u32(2).raw({0, 0})                     // manufacturer "\0"
                             .u32(4).raw({0x42, 0x30, 0x44, 0x30})   // product in kana
                             .u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    SettingV1 s;
    ASSERT_EQ(SettingSerializerV1().Read(Body1(0x00040000, 1, entry).bytes, s), TRUE);
    EXPECT_EQ(s.whitelist[0].serialNumber, CString(_T("A")));
    EXPECT_TRUE(s.whitelist[0].manufacturer.IsEmpty());
    EXPECT_EQ(s.whitelist[0].product, CString(_T("\u3042\u3044")));
}

TEST(SettingsFormat, FailedEntryAppendsNothingOfIt)
{
    // The second entry's serial claims more bytes than follow; enough bytes are left for the
    // count to pass as two entries.
    const Golden entries = Golden().add(kStick).u16(2).u16(2).u32(200).str("XXXXXXXXXXXXXXXXXXXXXXXX");
    SettingV1 s;
    EXPECT_EQ(SettingSerializerV1().Read(Body1(0x00040000, 2, entries).bytes, s), FALSE);
    ASSERT_EQ(s.whitelist.size(), 1u);
    EXPECT_EQ(s.whitelist[0].vendorId, 0x0781);
}

TEST(SettingsFormat, CountBeyondTheBytesLeftFailsBeforeAnyEntryIsMade)
{
    // 80 bytes follow the count: too few for three entries of at least 40 bytes.
    SettingV1 s;
    EXPECT_EQ(SettingSerializerV1().Read(Body1(0x00040000, 3, kStick).bytes, s), FALSE);
    EXPECT_EQ(s.whitelist.capacity(), 0u);
}

}  // namespace
