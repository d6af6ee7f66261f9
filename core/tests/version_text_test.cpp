#include "core/system/VersionText.h"

#include <gtest/gtest.h>

namespace {

std::vector<int32_t> Split(const WCHAR* text, const WCHAR* separator = _T("."))
{
    std::vector<int32_t> numbers = {99};
    int count = SplitVersionNumbers(text, separator, numbers);
    EXPECT_EQ(count, static_cast<int>(numbers.size()));
    return numbers;
}

}  // namespace

TEST(VersionText, SplitsDottedText)
{
    struct Case {
        const WCHAR* text;
        std::vector<int32_t> numbers;
    };
    const Case cases[] = {
        {_T("10.0.16299"), {10, 0, 16299}},
        {_T("10..0"), {10, 0}},             // an empty piece is skipped
        {_T(".5."), {5}},
        {_T(""), {}},
        {_T("6.x.1"), {6, 0, 1}},           // a piece that is no number counts as 0
        {_T(" 7.-2.+3"), {7, -2, 3}},
        {_T("1.2b.3"), {1, 2, 3}},          // the leading number of a piece
        {_T("99999999999.1"), {2147483647, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Split(c.text), c.numbers) << CString(c.text).GetLength();
    }
}

TEST(VersionText, SplitsAtMultiCharacterSeparator)
{
    EXPECT_EQ(Split(_T("1::2::3"), _T("::")), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(Split(_T("12"), _T("")), (std::vector<int32_t>{12}));
}

TEST(VersionText, ComparesPartByPart)
{
    struct Case {
        const WCHAR* a;
        const WCHAR* b;
        int result;
    };
    const Case cases[] = {
        {_T("10.0.16299"), _T("10.0.16299"), 0},
        {_T("10.0.17134"), _T("10.0.16299"), 1},
        {_T("10.1"), _T("10.0.16299"), 1},
        {_T("6.3.9600"), _T("10.0.16299"), -1},
        {_T("10.0.9"), _T("10.0.16299"), -1},   // numbers, not text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareVersionStrings(c.a, _T("."), c.b, _T(".")), c.result);
        EXPECT_EQ(CompareVersionStrings(c.b, _T("."), c.a, _T(".")), -c.result);
    }
}

TEST(VersionText, MissingTrailingPartsCountAsZero)
{
    EXPECT_EQ(CompareVersionStrings(_T("10.0.16299.0"), _T("."), _T("10.0.16299"), _T(".")), 0);
    EXPECT_EQ(CompareVersionStrings(_T("10.0.16299"), _T("."), _T("10.0.16299.0.0"), _T(".")), 0);
    EXPECT_EQ(CompareVersionStrings(_T("10.0.16299.1"), _T("."), _T("10.0.16299"), _T(".")), 1);
    EXPECT_EQ(CompareVersionNumbers({}, {0, 0}), 0);
    EXPECT_EQ(CompareVersionNumbers({}, {0, -1}), 1);
}
