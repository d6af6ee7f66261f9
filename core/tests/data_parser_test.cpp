#include "core/data/DataParser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;
typedef DataParser::WideText WideText;

// Every fixed-width read over inputs that are one byte short, exact and one byte long.
struct ScalarCase {
    const char* name;
    Bytes input;
    int width;                  // 2, 4 or 8
    ULONGLONG expected;         // meaningful when the read succeeds
    int result;
    DWORD leftAfter;
};

int ReadScalar(DataParser& parser, int width, ULONGLONG& value)
{
    if (width == 2) {
        WORD v = 0xBEEF;
        const int r = parser.ReadU16(v);
        value = v;
        return r;
    }
    if (width == 4) {
        DWORD v = 0xDEADBEEF;
        const int r = parser.ReadU32(v);
        value = v;
        return r;
    }
    ULONGLONG v = 0xDEADBEEFDEADBEEFull;
    const int r = parser.ReadU64(v);
    value = v;
    return r;
}

TEST(DataParser, ScalarReadsAreLittleEndianAndFailWithoutMoving)
{
    const ScalarCase cases[] = {
        {"u16", {0x34, 0x12}, 2, 0x1234, 0, 0},
        {"u16 with spare", {0x34, 0x12, 0x99}, 2, 0x1234, 0, 1},
        {"u16 short", {0x34}, 2, 0xBEEF, 1, 1},
        {"u16 empty", {}, 2, 0xBEEF, 1, 0},
        {"u32", {0x78, 0x56, 0x34, 0x12}, 4, 0x12345678, 0, 0},
        {"u32 short", {0x78, 0x56, 0x34}, 4, 0xDEADBEEF, 1, 3},
        {"u64 high 1 low 2", {2, 0, 0, 0, 1, 0, 0, 0}, 8, 0x0000000100000002ull, 0, 0},
        {"u64 all ones", Bytes(8, 0xFF), 8, 0xFFFFFFFFFFFFFFFFull, 0, 0},
        {"u64 short", Bytes(7, 0x11), 8, 0xDEADBEEFDEADBEEFull, 1, 7},
    };
    for (const ScalarCase& c : cases) {
        SCOPED_TRACE(c.name);
        DataParser parser(c.input);
        ULONGLONG value = 0;
        EXPECT_EQ(ReadScalar(parser, c.width, value), c.result);
        EXPECT_EQ(value, c.expected);
        EXPECT_EQ(parser.Left(), c.leftAfter);
    }
}

struct StringCase {
    const char* name;
    Bytes input;
    int result;
    WideText expected;          // the destination after the call (it starts as "old")
    DWORD leftAfter;
};

TEST(DataParser, StringReadsTakeCountThenCodeUnits)
{
    const WideText old = _T("old");
    const StringCase cases[] = {
        {"empty string consumes the count alone", {0, 0, 0, 0, 0x41}, 0, _T(""), 1},
        {"two letters", {4, 0, 0, 0, 'A', 0, 'B', 0}, 0, _T("AB"), 0},
        {"odd count leaves its last byte for the next field",
         {7, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0, 'X'}, 0, _T("abc"), 1},
        {"code units above 0xFF", {2, 0, 0, 0, 0x42, 0x30}, 0, _T("\u3042"), 0},
        {"zero code unit is kept", {6, 0, 0, 0, 'A', 0, 0, 0, 'B', 0}, 0, WideText(_T("A\0B"), 3), 0},
        {"count beyond the bytes fails", {5, 0, 0, 0, 'A', 0, 'B', 0}, 1, old, 8},
        {"huge count fails", {0xFF, 0xFF, 0xFF, 0xFF, 'A', 0}, 1, old, 6},
        {"three bytes left fail", {0, 0, 0}, 1, old, 3},
        {"nothing left fails", {}, 1, old, 0},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.name);
        DataParser parser(c.input);
        WideText text = old;
        EXPECT_EQ(parser.ReadString(text), c.result);
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(parser.Left(), c.leftAfter);
    }
}

struct BytesCase {
    const char* name;
    Bytes input;
    int result;
    Bytes expected;
    DWORD leftAfter;
};

TEST(DataParser, ByteBlockReadsTakeCountThenBytes)
{
    const Bytes old = {0xAA};
    const BytesCase cases[] = {
        {"empty block", {0, 0, 0, 0}, 0, {}, 0},
        {"three bytes", {3, 0, 0, 0, 1, 2, 3, 4}, 0, {1, 2, 3}, 1},
        {"count beyond the bytes", {4, 0, 0, 0, 1, 2, 3}, 1, old, 7},
        {"huge count", {0xFF, 0xFF, 0xFF, 0x7F}, 1, old, 4},
        {"short count", {1, 0}, 1, old, 2},
    };
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(c.name);
        DataParser parser(c.input);
        Bytes out = old;
        EXPECT_EQ(parser.ReadBytes(out), c.result);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(parser.Left(), c.leftAfter);
    }
}

TEST(DataParser, RestToBytesCopiesWithoutMoving)
{
    const Bytes input = {1, 0, 7, 8, 9};
    DataParser parser(input);
    WORD skip = 0;
    ASSERT_EQ(parser.ReadU16(skip), 0);
    Bytes rest = {0xEE};
    parser.RestToBytes(rest);
    EXPECT_EQ(rest, (Bytes{7, 8, 9}));
    EXPECT_EQ(parser.Left(), 3u);

    DataParser empty(nullptr, 0);
    empty.RestToBytes(rest);
    EXPECT_TRUE(rest.empty());
}

}  // namespace
