#include "core/system/OSVersion.h"

#include <gtest/gtest.h>

TEST(COSVersion, ProbeFillsTheExtendedRecord)
{
    COSVersion version;
    EXPECT_EQ(version.VersionInfo().dwOSVersionInfoSize, COSVersion::kExtendedInfoSize);
    EXPECT_GE(version.MajorVersion(), 5u);
    EXPECT_EQ(version.MajorVersion(), version.VersionInfo().dwMajorVersion);
}

TEST(COSVersion, Wow64StateMatchesTheBuild)
{
    COSVersion version;
    // The test prefix is a 64-bit one: the x86 build runs under WOW64, the x64 build natively.
#ifdef _WIN64
    EXPECT_FALSE(version.IsWow64());
#else
    EXPECT_TRUE(version.IsWow64());
#endif
    EXPECT_EQ(version.NativeSystemInfo().wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
}

TEST(COSVersion, RulesFollowTheProbedNumbers)
{
    COSVersion version;
    EXPECT_EQ(version.Is6_3OrLater(), !version.IsBefore6_3());
    EXPECT_EQ(version.Is6_2OrLater(), !version.IsBefore6_2());
}
