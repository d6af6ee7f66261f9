#include "core/format/SettingSerializerV3.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using namespace Quelmar;

typedef std::vector<BYTE> Bytes;

// Random settings from a fixed seed: any int in every int field, texts of any UTF-16 code
// unit but zero (the class library's string ends at a zero), lengths from empty to long.
class RandomSettings {
public:
    explicit RandomSettings(unsigned seed) : rng_(seed) {}

    SettingV3 Next()
    {
        SettingV3 s;
        s.usbControlEnabled = Int();
        const int entries = Pick(0, 3) == 0 ? Pick(0, 200) : Pick(0, 5);
        for (int i = 0; i < entries; ++i) {
            WhitelistEntry e;
            e.vendorId = static_cast<WORD>(Pick(0, 0xFFFF));
            e.productId = static_cast<WORD>(Pick(0, 0xFFFF));
            e.serialNumber = Text();
            e.manufacturer = Text();
            e.product = Text();
            e.useVendorId = Int();
            e.useProductId = Int();
            e.useSerialNumber = Int();
            e.useManufacturer = Int();
            e.useProduct = Int();
            e.attribute = Int();
            s.whitelist.push_back(e);
        }
        s.outsidePolicy = Int();
        s.blockPortableDevices = Int();
        s.blockCdWriting = Int();
        s.autoImport.importAtStart = Int();
        s.autoImport.importPath = Text();
        s.blockInternalSd = Pick(0, 1);
        return s;
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    int Int()
    {
        // Mostly the small values files hold, sometimes anything at all.
        return Pick(0, 3) == 0 ? static_cast<int>(rng_()) : Pick(-1, 2);
    }
    CString Text()
    {
        const int length = Pick(0, 4) == 0 ? Pick(0, 300) : Pick(0, 12);
        CString text;
        for (int i = 0; i < length; ++i) {
            text += static_cast<WCHAR>(Pick(0, 1) == 0 ? Pick(0x20, 0x7E) : Pick(1, 0xFFFF));
        }
        return text;
    }

    std::mt19937 rng_;
};

size_t ExpectedSize(const SettingV3& s)
{
    size_t size = 36 + 2 * static_cast<size_t>(s.autoImport.importPath.GetLength());
    for (const WhitelistEntry& e : s.whitelist) {
        size += 40 + 2 * static_cast<size_t>(e.serialNumber.GetLength() + e.manufacturer.GetLength() +
                                             e.product.GetLength());
    }
    return size;
}

bool SameV3(const SettingV3& a, const SettingV3& b)
{
    return EqualSettings(a, b) && a.blockInternalSd == b.blockInternalSd;
}

TEST(SettingsRoundTrip, Version3ReadsBackEveryWrittenSetting)
{
    RandomSettings random(20261208);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const SettingV3 original = random.Next();
        Bytes bytes;
        SettingSerializerV3().Write(original, bytes);
        ASSERT_EQ(bytes.size(), ExpectedSize(original));

        SettingV3 read;
        SettingSerializerV3 reader;
        ASSERT_EQ(reader.Read(bytes, read), TRUE);
        EXPECT_EQ(reader.formatTag, 0x10020000u);
        EXPECT_TRUE(SameV3(read, original));
    }
}

TEST(SettingsRoundTrip, EveryTruncationIsRejected)
{
    RandomSettings random(99);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        SettingV3 original = random.Next();
        original.whitelist.resize(std::min<size_t>(original.whitelist.size(), 3));
        Bytes bytes;
        SettingSerializerV3().Write(original, bytes);
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            SettingV3 read;
            ASSERT_EQ(SettingSerializerV3().Read(prefix, read), FALSE) << "prefix of " << cut << " bytes";
        }
    }
}

}  // namespace
