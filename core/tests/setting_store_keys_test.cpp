#include "core/store/FileKeySource.h"
#include "core/store/ParseHexU16.h"
#include "core/store/StoreConstants.h"

#include <gtest/gtest.h>

TEST(ParseHexU16, AcceptsWhatTheBase16ConversionConsumesWhole)
{
    struct Case {
        const WCHAR* text;
        int result;
        WORD value;
    };
    const Case cases[] = {
        {_T("FFFF"), 1, 0xFFFF},
        {_T("0"), 1, 0},
        {_T("0x12"), 1, 0x12},
        {_T("abcd"), 1, 0xABCD},
        {_T(" 1F"), 1, 0x1F},
        {_T("+7"), 1, 7},
        {_T(""), 0, 0},
        {_T("10000"), 0, 0},
        {_T("12G"), 0, 0},
        {_T("0x"), 0, 0},
        {_T(" "), 0, 0},
        {_T("-"), 0, 0},
        {_T("1 "), 0, 0},
    };
    for (const Case& c : cases) {
        WORD value = 0x5A5A;
        EXPECT_EQ(ParseHexU16(c.text, &value), c.result) << CString(c.text).GetLength();
        if (c.result == 1) {
            EXPECT_EQ(value, c.value);
        } else {
            EXPECT_EQ(value, 0x5A5A);
        }
    }
    EXPECT_EQ(ParseHexU16(_T("12"), nullptr), 1);
}

TEST(ParseHexU16, RefusesMinusSignInsteadOfWrappingToAnotherId)
{
    const WCHAR* refused[] = {_T("-1"), _T("-0"), _T(" -1"), _T("-FF"), _T("-0x1")};
    for (const WCHAR* text : refused) {
        WORD value = 0x5A5A;
        EXPECT_EQ(ParseHexU16(text, &value), 0) << CString(text).GetLength();
        EXPECT_EQ(value, 0x5A5A);
    }
    WORD value = 0;
    EXPECT_EQ(ParseHexU16(_T("+FF"), &value), 1);
    EXPECT_EQ(value, 0xFF);
}

TEST(FileKeySource, RunTimeKeyIsMaterialThenZeros)
{
    const DWORD material[2] = {0x04030201, 0x08070605};
    std::vector<BYTE> key = {0xFF};
    BuildRunTimeKey(FileKeySource(material), key);
    EXPECT_EQ(key, (std::vector<BYTE>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(FileKeySource, SourceWithoutMaterialGivesZeroKey)
{
    std::vector<BYTE> key;
    BuildRunTimeKey(FileKeySource(nullptr), key);
    EXPECT_EQ(key, std::vector<BYTE>(16, 0));
}

TEST(FileKeySource, ProgramsShareOneKeyMaterial)
{
    std::vector<BYTE> key;
    BuildRunTimeKey(FileKeySource(StoreConstants::kFileKeyMaterial), key);
    EXPECT_NE(key, std::vector<BYTE>(16, 0));
}
