// The whitelist table: twin entries beside the entries that name a twin device, and the
// enumeration mask that reads only what the entries compare.
#include "service/decision/QuelmarDecision.h"
#include "service/tests/DecisionValues.h"

#include <gtest/gtest.h>

namespace servicetest {
namespace {

using Quelmar::QuelmarDecision;
using Quelmar::Whitelist;

TEST(WhitelistTable, TwinFollowsItsEntry)
{
    QuelmarDecision thread;
    const WhitelistEntry other = Entry(0x1234, 0x0001, _T("X"), UseVendor, 0);
    const WhitelistEntry twinned = Entry(0x20AA, 0x001B, _T("S"), UseVendor | UseProduct | UseSerial, 2);
    thread.BuildWhitelistTable({other, twinned, other});
    const Whitelist& table = thread.WhitelistTable();
    ASSERT_EQ(4u, table.size());
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(other, table[0]));
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(twinned, table[1]));
    WhitelistEntry expectedTwin = twinned;
    expectedTwin.productId = 0x001A;
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(expectedTwin, table[2]));
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(other, table[3]));
}

TEST(WhitelistTable, TwinAlreadyListedIsNotAddedAgain)
{
    QuelmarDecision thread;
    const WhitelistEntry first = Entry(0x0693, 0x0095, _T("S"), UseVendor | UseProduct, 0);
    WhitelistEntry second = first;
    second.productId = 0x0096;
    thread.BuildWhitelistTable({first, second});
    EXPECT_EQ(2u, thread.WhitelistTable().size());

    // A twin that differs from the listed entry in its attribute is still added.
    WhitelistEntry readOnlySecond = second;
    readOnlySecond.attribute = 2;
    thread.BuildWhitelistTable({first, readOnlySecond});
    EXPECT_EQ(4u, thread.WhitelistTable().size());
}

TEST(WhitelistTable, MaskReadsOnlyTheComparedFields)
{
    const struct {
        unsigned flags;
        DWORD mask;
    } cases[] = {
        {0, 0x20},
        {UseVendor, 0x21},
        {UseProduct, 0x22},
        {UseManufacturer, 0x24},
        {UseProductName, 0x28},
        {UseSerial, 0x30},
        {UseVendor | UseProduct | UseSerial | UseManufacturer | UseProductName, 0x3F},
    };
    for (const auto& c : cases) {
        QuelmarDecision thread;
        thread.BuildWhitelistTable({Entry(1, 2, _T("S"), c.flags, 0), Entry(1, 2, _T("S"), 0, 2)});
        EXPECT_EQ(c.mask, thread.EnumerationMask()) << c.flags;
    }
    QuelmarDecision empty;
    empty.BuildWhitelistTable({});
    EXPECT_EQ(0x20u, empty.EnumerationMask());
    EXPECT_TRUE(empty.WhitelistTable().empty());
}

TEST(WhitelistTable, SettingBringsItsSwitches)
{
    QuelmarDecision thread;
    EXPECT_EQ(-1, thread.NonWhitelistPolicy());
    EXPECT_EQ(-1, thread.SdCardState());
    Quelmar::SettingV3 setting;
    setting.outsidePolicy = 2;
    setting.blockInternalSd = 1;
    setting.whitelist = {Entry(0x0411, 0x010C, _T("S"), UseVendor | UseProduct, 0)};
    thread.TakeSetting(setting);
    EXPECT_EQ(2, thread.NonWhitelistPolicy());
    EXPECT_EQ(1, thread.SdCardState());
    EXPECT_EQ(2u, thread.WhitelistTable().size());
    EXPECT_EQ(0x23u, thread.EnumerationMask());
}

}  // namespace
}  // namespace servicetest
