#include "core/model/WhitelistEntryMatcher.h"

#include <gtest/gtest.h>

namespace {

using Quelmar::UsbDeviceIdentity;
using Quelmar::WhitelistEntry;
using Quelmar::WhitelistEntryMatcher;

UsbDeviceIdentity Device(WORD vid, WORD pid, const WCHAR* serial, const WCHAR* maker, const WCHAR* product)
{
    UsbDeviceIdentity d;
    d.vendorId = vid;
    d.productId = pid;
    d.serialNumber = serial;
    d.manufacturer = maker;
    d.product = product;
    return d;
}

// The entry names the stick 0781:5567 "AA01" "Maker" "Stick"; each case selects some fields.
struct MatchCase {
    const char* name;
    int useVid, usePid, useSerial, useMaker, useProduct;
    UsbDeviceIdentity device;
    BOOL expected;
};

TEST(WhitelistEntryMatcher, ComparesOnlySelectedFields)
{
    const UsbDeviceIdentity same = Device(0x0781, 0x5567, _T("AA01"), _T("Maker"), _T("Stick"));
    const UsbDeviceIdentity blank = Device(0, 0, _T(""), _T(""), _T(""));
    const MatchCase cases[] = {
        {"no field selected matches a blank device", 0, 0, 0, 0, 0, blank, TRUE},
        {"no field selected matches another device", 0, 0, 0, 0, 0,
         Device(1, 2, _T("x"), _T("y"), _T("z")), TRUE},
        {"all fields, same device", 1, 1, 1, 1, 1, same, TRUE},
        {"all fields, blank device", 1, 1, 1, 1, 1, blank, FALSE},
        {"vendor differs", 1, 0, 0, 0, 0, Device(0x0782, 0x5567, _T("AA01"), _T("Maker"), _T("Stick")), FALSE},
        {"vendor differs but not selected", 0, 1, 1, 1, 1,
         Device(0x0782, 0x5567, _T("AA01"), _T("Maker"), _T("Stick")), TRUE},
        {"product id differs", 0, 1, 0, 0, 0, Device(0x0781, 0x5568, _T("AA01"), _T("Maker"), _T("Stick")), FALSE},
        {"serial differs only in case", 0, 0, 1, 0, 0,
         Device(0x0781, 0x5567, _T("aa01"), _T("Maker"), _T("Stick")), FALSE},
        {"serial with trailing space", 0, 0, 1, 0, 0,
         Device(0x0781, 0x5567, _T("AA01 "), _T("Maker"), _T("Stick")), FALSE},
        {"serial is a prefix", 0, 0, 1, 0, 0, Device(0x0781, 0x5567, _T("AA0"), _T("Maker"), _T("Stick")), FALSE},
        {"manufacturer differs", 0, 0, 0, 1, 0, Device(0x0781, 0x5567, _T("AA01"), _T("maker"), _T("Stick")), FALSE},
        {"product string differs", 0, 0, 0, 0, 1, Device(0x0781, 0x5567, _T("AA01"), _T("Maker"), _T("Stick2")), FALSE},
        {"only unselected fields differ", 1, 1, 0, 0, 0, Device(0x0781, 0x5567, _T("B"), _T("C"), _T("D")), TRUE},
        {"any non-zero flag selects", -1, 7, 0, 0, 0, Device(0x0781, 0x5567, _T(""), _T(""), _T("")), TRUE},
        {"non-zero flag selects a differing field", 0, 0, 0, 0, -5,
         Device(0x0781, 0x5567, _T("AA01"), _T("Maker"), _T("Other")), FALSE},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        WhitelistEntry entry;
        static_cast<UsbDeviceIdentity&>(entry) = same;
        entry.useVendorId = c.useVid;
        entry.useProductId = c.usePid;
        entry.useSerialNumber = c.useSerial;
        entry.useManufacturer = c.useMaker;
        entry.useProduct = c.useProduct;
        entry.attribute = 0;
        EXPECT_EQ(WhitelistEntryMatcher(&entry).Matches(c.device), c.expected);
    }
}

TEST(WhitelistEntryMatcher, UnboundMatcherMatchesNothing)
{
    EXPECT_EQ(WhitelistEntryMatcher().Matches(UsbDeviceIdentity()), FALSE);
}

TEST(WhitelistEntryMatcher, AttributeDoesNotTakePart)
{
    WhitelistEntry entry;
    entry.useVendorId = 1;
    entry.vendorId = 0x1234;
    entry.attribute = 2;
    UsbDeviceIdentity device;
    device.vendorId = 0x1234;
    EXPECT_EQ(WhitelistEntryMatcher(&entry).Matches(device), TRUE);
}

}  // namespace
