#include "core/format/SettingConversion.h"

#include <gtest/gtest.h>

namespace {

using namespace Quelmar;

WhitelistEntry Entry(WORD vid, const WCHAR* serial)
{
    WhitelistEntry e;
    e.vendorId = vid;
    e.serialNumber = serial;
    e.useVendorId = 1;
    e.useSerialNumber = 1;
    e.attribute = 2;
    return e;
}

SettingV2 OlderSetting()
{
    SettingV2 s;
    s.usbControlEnabled = 0;
    s.whitelist = {Entry(1, _T("A")), Entry(2, _T("B"))};
    s.outsidePolicy = 2;
    s.blockPortableDevices = 0;
    s.blockCdWriting = 0;
    s.autoImport.importAtStart = 1;
    s.autoImport.importPath = _T("D:\\QEVRINInstallSetting.dat");
    return s;
}

TEST(SettingConversion, Version2KeepsItsFieldsAndLeavesInternalSdUnblocked)
{
    const SettingV2 older = OlderSetting();
    SettingV3 current;
    current.whitelist.push_back(Entry(9, _T("stale")));
    current.blockInternalSd = 1;
    ConvertSettingV2ToV3(older, current);
    EXPECT_EQ(EqualSettings(current, older), TRUE);
    EXPECT_EQ(current.blockInternalSd, 0);
}

TEST(SettingConversion, Version1TakesDefaultsForWhatItDidNotKnow)
{
    SettingV1 older = OlderSetting();
    SettingV3 current;
    current.autoImport.importAtStart = 1;
    current.autoImport.importPath = _T("stale");
    ConvertSettingV1ToV3(older, current);
    EXPECT_EQ(current.usbControlEnabled, 0);
    EXPECT_EQ(current.outsidePolicy, 2);
    EXPECT_EQ(EqualWhitelists(current.whitelist, older.whitelist), TRUE);
    EXPECT_EQ(current.blockPortableDevices, 0);
    EXPECT_EQ(current.blockCdWriting, 0);
    EXPECT_EQ(current.autoImport.importAtStart, 0);
    EXPECT_TRUE(current.autoImport.importPath.IsEmpty());
    EXPECT_EQ(current.blockInternalSd, 0);
}

TEST(SettingConversion, ConvertingARecordIntoItselfKeepsItsWhitelist)
{
    SettingV3 s;
    static_cast<SettingV2&>(s) = OlderSetting();
    s.blockInternalSd = 1;
    ConvertSettingV2ToV3(s, s);
    EXPECT_EQ(EqualSettings(s, OlderSetting()), TRUE);
    EXPECT_EQ(s.blockInternalSd, 0);

    ConvertSettingV1ToV3(s, s);
    EXPECT_EQ(s.whitelist.size(), 2u);
    EXPECT_TRUE(s.autoImport.importPath.IsEmpty());
}

}  // namespace
