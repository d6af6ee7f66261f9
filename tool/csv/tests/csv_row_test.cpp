#include "tool/csv/CsvWhitelistRow.h"
#include "tool/csv/tests/csv_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace Quelmar;

// Parses one line as a row: true with the entry when accepted, false when rejected.
bool ParseLine(const WCHAR* line, WhitelistEntry* entry = nullptr)
{
    CsvWhitelistReader reader(line);
    reader.ReadLine();
    Whitelist entries;
    try {
        ParseCsvRow(reader, entries);
    } catch (int code) {
        EXPECT_EQ(code, -1);
        EXPECT_TRUE(entries.empty());
        return false;
    }
    EXPECT_EQ(entries.size(), 1u);
    if (entry != nullptr && !entries.empty()) {
        *entry = entries.front();
    }
    return true;
}

struct AcceptCase {
    const char* name;
    const WCHAR* line;
    WhitelistEntry expected;
};

TEST(CsvWhitelistRow, AcceptsWellFormedRows)
{
    const AcceptCase cases[] = {
        {"short ids, read-only", _T("1,1,951,0,,0,,0,,0,"),
         CsvEntry(2, 1, 0x0951, 0, 0, 0, _T(""), 0, _T(""), 0, _T(""))},
        {"written form", _T("0,1,0x0951,0,0x1666,1,001A,0,,0,"),
         CsvEntry(0, 1, 0x0951, 0, 0x1666, 1, _T("001A"), 0, _T(""), 0, _T(""))},
        {"upper-case prefix", _T("0,1,0X1A,0,,0,,0,,0,"), CsvEntry(0, 1, 0x001A, 0, 0, 0, _T(""), 0, _T(""), 0, _T(""))},
        {"plus sign stays accepted", _T("0,1,+1a,0,,0,,0,,0,"), CsvEntry(0, 1, 0x001A, 0, 0, 0, _T(""), 0, _T(""), 0, _T(""))},
        {"TRUE and FALSE in any case", _T("True,TRUE,1,false,2,tRuE,S,FALSE,M,0,P"),
         CsvEntry(2, 1, 1, 0, 2, 1, _T("S"), 0, _T("M"), 0, _T("P"))},
        {"twelfth field ignored", _T("0,0,,0,,0,,0,,1,Stick,extra"),
         CsvEntry(0, 0, 0, 0, 0, 0, _T(""), 0, _T(""), 1, _T("Stick"))},
        {"texts kept unchanged", _T("0,0,,0,,1, 001 ,1,\"Maker, Inc.\",1,\"Say \"\"hi\"\"\""),
         CsvEntry(0, 0, 0, 0, 0, 1, _T(" 001 "), 1, _T("Maker, Inc."), 1, _T("Say \"hi\""))},
        {"line break inside a quoted text", _T("0,0,,0,,0,,0,,1,\"a\nb\""),
         CsvEntry(0, 0, 0, 0, 0, 0, _T(""), 0, _T(""), 1, _T("a\nb"))},
    };
    for (const AcceptCase& c : cases) {
        WhitelistEntry entry;
        ASSERT_TRUE(ParseLine(c.line, &entry)) << c.name;
        EXPECT_EQ(entry, c.expected) << c.name;
    }
}

struct RejectCase {
    const char* name;
    const WCHAR* line;
};

TEST(CsvWhitelistRow, RejectsMalformedRows)
{
    const RejectCase cases[] = {
        {"empty line", _T("")},
        {"ten fields", _T("0,1,0x0951,0,,0,,0,,0")},
        {"one field", _T("1")},
        {"all use flags 0 with ids present", _T("0,0,0x0951,0,0x1666,0,S,0,M,0,P")},
        {"all use flags empty", _T("1,,0x0951,,,,,,,,")},
        {"boolean yes", _T("0,yes,1,0,,0,,0,,0,")},
        {"boolean 2", _T("0,2,1,0,,0,,0,,0,")},
        {"boolean with leading blank", _T("0, 1,1,0,,0,,0,,0,")},
        {"read-only column not boolean", _T("x,1,1,0,,0,,0,,0,")},
        {"vendor ID of five digits after 0x", _T("0,1,0x12345,0,,0,,0,,0,")},
        {"vendor ID G1", _T("0,1,G1,0,,0,,0,,0,")},
        {"prefix without digits", _T("0,1,0x,0,,0,,0,,0,")},
        {"minus sign in vendor ID", _T("0,1,-1,0,,0,,0,,0,")},
        {"minus sign after prefix", _T("0,1,0x-1,0,,0,,0,,0,")},
        {"minus sign in product ID", _T("0,0,,1,-0FF,0,,0,,0,")},
        {"unclosed quote in a middle column", _T("0,1,1,0,,1,\"abc,0,,0,")},
    };
    for (const RejectCase& c : cases) {
        EXPECT_FALSE(ParseLine(c.line)) << c.name;
    }
}

TEST(CsvWhitelistRow, WritesEntryAsElevenColumns)
{
    const AcceptCase cases[] = {
        {"ids and serial", _T("0,1,0x0951,0,0x1666,1,001A,0,,0,\r\n"),
         CsvEntry(0, 1, 0x0951, 0, 0x1666, 1, _T("001A"), 0, _T(""), 0, _T(""))},
        {"read-only, upper-case hex", _T("1,1,0xABCD,1,0x00EF,0,,1,M,1,P\r\n"),
         CsvEntry(2, 1, 0xABCD, 1, 0x00EF, 0, _T(""), 1, _T("M"), 1, _T("P"))},
        {"other attribute written as full access", _T("0,0,0x0000,0,0x0000,0,,0,,1,P\r\n"),
         CsvEntry(1, 0, 0, 0, 0, 0, _T(""), 0, _T(""), 1, _T("P"))},
        {"texts quoted when needed", _T("0,0,0x0000,0,0x0000,1,\"a,b\",1,\"say \"\"x\"\"\",1,\"l1\nl2\"\r\n"),
         CsvEntry(0, 0, 0, 0, 0, 1, _T("a,b"), 1, _T("say \"x\""), 1, _T("l1\nl2"))},
    };
    for (const AcceptCase& c : cases) {
        CsvWhitelistWriter writer(_T("\r\n"));
        WriteCsvEntryRow(writer, c.expected);
        EXPECT_EQ(writer.Document(), CString(c.line)) << c.name;
    }
}

}  // namespace
