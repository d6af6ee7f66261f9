#include "core/format/SettingConversion.h"

#include <gtest/gtest.h>

namespace {

using namespace Quelmar;

SettingV2 OlderSetting()
{
    SettingV2 s;
    WhitelistEntry e;
    e.vendorId = 0x0781;
    e.serialNumber = _T("A");
    e.useSerialNumber = 1;
    e.attribute = 2;
    s.whitelist = {e, e};
    s.outsidePolicy = 2;
    s.autoImport.importAtStart = 1;
    s.autoImport.importPath = _T("D:\\QEVRINInstallSetting.dat");
    return s;
}

TEST(SettingConversion, OlderVersionsKeepTheirFieldsOverTheDefaults)
{
    SettingV3 current;
    current.whitelist.resize(3);
    current.blockInternalSd = 1;
    ConvertSettingV2ToV3(OlderSetting(), current);
    EXPECT_EQ(EqualSettings(current, OlderSetting()), TRUE);
    EXPECT_EQ(current.blockInternalSd, 0);

    ConvertSettingV1ToV3(OlderSetting(), current);
    EXPECT_EQ(current.usbControlEnabled, 0);
    EXPECT_EQ(current.outsidePolicy, 2);
    EXPECT_EQ(EqualWhitelists(current.whitelist, OlderSetting().whitelist), TRUE);
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
    ConvertSettingV2ToV3(s, s);
    EXPECT_EQ(EqualSettings(s, OlderSetting()), TRUE);
    ConvertSettingV1ToV3(s, s);
    EXPECT_EQ(s.whitelist.size(), 2u);
}

}  // namespace
