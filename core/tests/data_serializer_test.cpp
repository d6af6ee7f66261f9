#include "core/data/DataSerializer.h"


#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;

struct WriteCase {
    const char* name;
    std::function<void(DataSerializer&)> write;
    Bytes expected;
};

TEST(DataSerializer, AppendsLittleEndianPackedValues)
{
    const WriteCase cases[] = {
        {"u16", [](DataSerializer& s) { s.WriteU16(0x1234); }, {0x34, 0x12}},
        {"u32", [](DataSerializer& s) { s.WriteU32(0x12345678); }, {0x78, 0x56, 0x34, 0x12}},
        {"u32 of -1", [](DataSerializer& s) { s.WriteU32(static_cast<DWORD>(-1)); }, Bytes(4, 0xFF)},
        {"u64 high 1 low 2", [](DataSerializer& s) { s.WriteU64(0x0000000100000002ull); },
         {2, 0, 0, 0, 1, 0, 0, 0}},
        {"string AB", [](DataSerializer& s) { s.WriteString(CString(_T("AB"))); },
         {4, 0, 0, 0, 0x41, 0, 0x42, 0}},
        {"empty string is a zero count", [](DataSerializer& s) { s.WriteString(CString()); },
         {0, 0, 0, 0}},
        {"string above 0xFF", [](DataSerializer& s) { s.WriteString(CString(_T("\u3042"))); },
         {2, 0, 0, 0, 0x42, 0x30}},
        {"counted text stops at its length",
         [](DataSerializer& s) { s.WriteString(_T("ABC"), 1); }, {2, 0, 0, 0, 0x41, 0}},
        {"byte block", [](DataSerializer& s) { s.WriteBytes({9, 8}); }, {2, 0, 0, 0, 9, 8}},
        {"empty byte block", [](DataSerializer& s) { s.WriteBytes({}); }, {0, 0, 0, 0}},
        {"vector without count", [](DataSerializer& s) { s.AppendVector({5, 6, 7}); }, {5, 6, 7}},
        {"narrow text without count or terminator",
         [](DataSerializer& s) { s.AppendText("Set"); }, {'S', 'e', 't'}},
        {"values follow one another",
         [](DataSerializer& s) {
             s.WriteU16(1);
             s.AppendText("x");
             s.WriteU32(2);
         },
         {1, 0, 'x', 2, 0, 0, 0}},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        DataSerializer s;
        c.write(s);
        EXPECT_EQ(s.Bytes(), c.expected);
    }
}

}  // namespace
