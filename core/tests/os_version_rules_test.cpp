#include "core/system/OSVersionRules.h"

#include <gtest/gtest.h>

using namespace Quelmar::OSVersionRules;

namespace {

struct VersionCase {
    unsigned major, minor;
    bool laterThan50, fiveAfter50, exactly50, v60, v61, v62OrLater, before62, before63, v63OrLater;
};

// 0.0 is what a failed probe leaves: every rule must answer as for the oldest system.
const VersionCase kCases[] = {
    {0, 0, false, false, false, false, false, false, true, true, false},
    {4, 10, false, false, false, false, false, false, true, true, false},
    {5, 0, false, false, true, false, false, false, true, true, false},
    {5, 1, true, true, false, false, false, false, true, true, false},
    {5, 2, true, true, false, false, false, false, true, true, false},
    {6, 0, true, false, false, true, false, false, true, true, false},
    {6, 1, true, false, false, false, true, false, true, true, false},
    {6, 2, true, false, false, false, false, true, false, true, false},
    {6, 3, true, false, false, false, false, true, false, false, true},
    {10, 0, true, false, false, false, false, true, false, false, true},
};

}  // namespace

TEST(OSVersionRules, EachRuleAnswersItsVersionsOnly)
{
    for (const VersionCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        EXPECT_EQ(IsLaterThan5_0(c.major, c.minor), c.laterThan50);
        EXPECT_EQ(Is5xAfter5_0(c.major, c.minor), c.fiveAfter50);
        EXPECT_EQ(IsExactly5_0(c.major, c.minor), c.exactly50);
        EXPECT_EQ(Is6_0(c.major, c.minor), c.v60);
        EXPECT_EQ(Is6_1(c.major, c.minor), c.v61);
        EXPECT_EQ(Is6_2OrLater(c.major, c.minor), c.v62OrLater);
        EXPECT_EQ(IsBefore6_2(c.major, c.minor), c.before62);
        EXPECT_EQ(IsBefore6_3(c.major, c.minor), c.before63);
        EXPECT_EQ(Is6_3OrLater(c.major, c.minor), c.v63OrLater);
    }
}
