#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/model/SettingDefaults.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace Quelmar;

WhitelistEntry Entry(WORD vid, const WCHAR* serial, int attribute)
{
    WhitelistEntry e;
    e.vendorId = vid;
    e.productId = 0x5567;
    e.serialNumber = serial;
    e.manufacturer = _T("Maker");
    e.product = _T("Stick");
    e.useVendorId = 1;
    e.useProductId = 1;
    e.useSerialNumber = 1;
    e.attribute = attribute;
    return e;
}

SettingV3 SampleSetting()
{
    SettingV3 s;
    s.usbControlEnabled = 1;
    s.whitelist = {Entry(0x0781, _T("AA01"), 0), Entry(0x090C, _T("BB02"), 2)};
    s.outsidePolicy = 2;
    s.blockPortableDevices = 1;
    s.autoImport.importAtStart = 1;
    s.autoImport.importPath = _T("C:\\Setup\\QEVRINInstallSetting.dat");
    s.blockInternalSd = 1;
    return s;
}

TEST(SettingModel, UnsetFieldsStartAtMinusOne)
{
    EXPECT_EQ(WhitelistEntry().attribute, -1);
    EXPECT_EQ(SettingV1().outsidePolicy, -1);
    EXPECT_EQ(SettingV3().outsidePolicy, -1);
    EXPECT_EQ(SettingV3().blockInternalSd, -1);
    EXPECT_EQ(SettingV3().usbControlEnabled, 0);
    EXPECT_EQ(PasswordData().unlockMode, 0);
    EXPECT_EQ(ImportTimeRecord().exportTime.time, 0);
}

TEST(SettingModel, DefaultSettingsEmptyALongWhitelistAndBlockOutsideIt)
{
    SettingV3 s = SampleSetting();
    s.whitelist.resize(1000, Entry(1, _T("S"), 0));
    s.outsidePolicy = -1;
    SettingStore::SetDefaultSettings(s);
    EXPECT_TRUE(s.whitelist.empty());
    EXPECT_EQ(s.usbControlEnabled, 1);
    EXPECT_EQ(s.outsidePolicy, 1);
    EXPECT_EQ(s.blockPortableDevices, 1);
    EXPECT_EQ(s.blockCdWriting, 1);
    EXPECT_EQ(s.autoImport.importAtStart, 0);
    EXPECT_TRUE(s.autoImport.importPath.IsEmpty());
    EXPECT_EQ(s.blockInternalSd, 0);
}

TEST(SettingModel, DefaultPasswordDataClearsEverythingAndReleasesTheDigest)
{
    PasswordData pd;
    pd.passwordSet = 1;
    pd.passwordDigest.assign(16, 0xAB);
    pd.keyDeviceSet = 1;
    pd.keyDevice.vendorId = 0x0781;
    pd.keyDevice.productId = 0x5567;
    pd.keyDevice.serialNumber = _T("KEY");
    pd.unlockMode = 2;
    SettingStore::SetDefaultPasswordData(pd);
    EXPECT_EQ(pd.passwordSet, 0);
    EXPECT_EQ(pd.passwordDigest.capacity(), 0u);
    EXPECT_EQ(pd.keyDeviceSet, 0);
    EXPECT_EQ(pd.keyDevice.vendorId | pd.keyDevice.productId, 0);
    EXPECT_TRUE(pd.keyDevice.serialNumber.IsEmpty());
    EXPECT_EQ(pd.unlockMode, 0);
}

// Each case changes one field of a copy of the sample and says whether EqualSettings still
// holds.
struct EqualityCase {
    const char* name;
    std::function<void(SettingV3&)> change;
    BOOL equal;
};

TEST(SettingModel, EqualSettingsComparesEverythingButInternalSd)
{
    const EqualityCase cases[] = {
        {"unchanged", [](SettingV3&) {}, TRUE},
        {"only blockInternalSd", [](SettingV3& s) { s.blockInternalSd = 0; }, TRUE},
        {"usbControlEnabled", [](SettingV3& s) { s.usbControlEnabled = 0; }, FALSE},
        {"outsidePolicy", [](SettingV3& s) { s.outsidePolicy = 1; }, FALSE},
        {"blockPortableDevices", [](SettingV3& s) { s.blockPortableDevices = 0; }, FALSE},
        {"blockCdWriting", [](SettingV3& s) { s.blockCdWriting = 1; }, FALSE},
        {"importAtStart", [](SettingV3& s) { s.autoImport.importAtStart = 0; }, FALSE},
        {"importPath case", [](SettingV3& s) { s.autoImport.importPath.MakeLower(); }, FALSE},
        {"same entries in another order", [](SettingV3& s) { std::swap(s.whitelist[0], s.whitelist[1]); }, FALSE},
        {"entry removed", [](SettingV3& s) { s.whitelist.pop_back(); }, FALSE},
        {"entry vendorId", [](SettingV3& s) { s.whitelist[1].vendorId++; }, FALSE},
        {"entry productId", [](SettingV3& s) { s.whitelist[1].productId++; }, FALSE},
        {"entry manufacturer", [](SettingV3& s) { s.whitelist[1].manufacturer = _T("MAKER"); }, FALSE},
        {"entry product", [](SettingV3& s) { s.whitelist[1].product += _T(" "); }, FALSE},
        {"entry serial", [](SettingV3& s) { s.whitelist[1].serialNumber = _T("bb02"); }, FALSE},
        {"entry useVendorId", [](SettingV3& s) { s.whitelist[1].useVendorId = 0; }, FALSE},
        {"entry useProductId", [](SettingV3& s) { s.whitelist[1].useProductId = 0; }, FALSE},
        {"entry useSerialNumber", [](SettingV3& s) { s.whitelist[1].useSerialNumber = 0; }, FALSE},
        {"entry useManufacturer", [](SettingV3& s) { s.whitelist[1].useManufacturer = 1; }, FALSE},
        {"entry useProduct", [](SettingV3& s) { s.whitelist[1].useProduct = 1; }, FALSE},
        {"entry attribute", [](SettingV3& s) { s.whitelist[1].attribute = 0; }, FALSE},
    };
    const SettingV3 base = SampleSetting();
    for (const EqualityCase& c : cases) {
        SCOPED_TRACE(c.name);
        SettingV3 changed = base;
        c.change(changed);
        EXPECT_EQ(EqualSettings(base, changed), c.equal);
        EXPECT_EQ(EqualSettings(changed, base), c.equal);
    }
}

TEST(SettingModel, AssignSettingCopiesEveryFieldDeeply)
{
    const SettingV3 src = SampleSetting();
    SettingV3 dst;
    dst.whitelist.push_back(Entry(9, _T("old"), 0));
    AssignSetting(dst, src);
    EXPECT_EQ(EqualSettings(dst, src), TRUE);
    EXPECT_EQ(dst.blockInternalSd, 1);

    dst.whitelist[0].serialNumber = _T("changed");
    EXPECT_EQ(src.whitelist[0].serialNumber, CString(_T("AA01")));

    AssignSetting(dst, dst);
    EXPECT_EQ(dst.whitelist.size(), 2u);
}

TEST(SettingModel, AssignPasswordDataCopiesEveryField)
{
    PasswordData src;
    src.passwordSet = 1;
    src.passwordDigest = {1, 2, 3};
    src.keyDeviceSet = 1;
    src.keyDevice.vendorId = 0x0781;
    src.keyDevice.productId = 0x5567;
    src.keyDevice.serialNumber = _T("KEY1");
    src.unlockMode = 2;
    PasswordData dst;
    AssignPasswordData(dst, src);
    EXPECT_EQ(dst.passwordDigest, src.passwordDigest);
    EXPECT_EQ(dst.passwordSet + dst.keyDeviceSet + dst.unlockMode, 4);
    EXPECT_EQ(dst.keyDevice.vendorId, 0x0781);
    EXPECT_EQ(dst.keyDevice.productId, 0x5567);
    EXPECT_EQ(dst.keyDevice.serialNumber, CString(_T("KEY1")));
}

}  // namespace
