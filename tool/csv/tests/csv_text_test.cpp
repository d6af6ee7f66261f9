#include "tool/csv/CsvWhitelistText.h"
#include "tool/csv/tests/csv_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Quelmar;

void CountStep(LPVOID argument)
{
    ++*static_cast<int*>(argument);
}

struct Parsed {
    Whitelist entries;
    CsvErrorList errors;
    int steps = 0;
};

Parsed Parse(const CString& text)
{
    Parsed p;
    CsvFileJob job;
    job.progress = CountStep;
    job.argument = &p.steps;
    ParseWhitelistCsvText(p.errors, job, text, p.entries);
    return p;
}

CString Error(int line, const WCHAR* text)
{
    return CsvLineErrorText(line, text);
}

TEST(CsvWhitelistText, ErrorTextNamesLineAndText)
{
    const WCHAR expected[] = {'1', '2', 0x884C, 0x76EE, 0xFF1A, 'a', ',', 'b', '\r', '\n', 0};
    EXPECT_EQ(CsvLineErrorText(12, _T("a,b")), CString(expected));
}

struct ParseCase {
    const char* name;
    const WCHAR* text;
    size_t entries;
    std::vector<CString> errors;
    int steps;
};

TEST(CsvWhitelistText, ParsesEveryLineAndNumbersErrorsByNonEmptyLines)
{
    const ParseCase cases[] = {
        {"empty text", _T(""), 0, {}, 0},
        {"three good lines", _T("0,1,1,0,,0,,0,,0,\r\n0,1,2,0,,0,,0,,0,\r\n0,1,3,0,,0,,0,,0,\r\n"), 3, {}, 3},
        {"bad line after two blank lines", _T("0,1,1,0,,0,,0,,0,\r\n\r\n\r\nbad\r\n0,1,3,0,,0,,0,,0,"), 2,
         {Error(2, _T("bad"))}, 3},
        {"leading blank line", _T("\r\n0,1,1,0,,0,,0,,0,"), 1, {Error(1, _T(""))}, 2},
        {"only bad lines", _T("x\ny\n"), 0, {Error(1, _T("x")), Error(2, _T("y"))}, 2},
        {"quoted break keeps one row", _T("0,0,,0,,0,,0,,1,\"two\r\nlines\"\r\nbad"), 1, {Error(2, _T("bad"))}, 2},
        {"error text keeps a quoted break", _T("0,2,,0,,0,,0,,1,\"a\nb\""), 0,
         {Error(1, _T("0,2,,0,,0,,0,,1,\"a\nb\""))}, 1},
    };
    for (const ParseCase& c : cases) {
        const Parsed p = Parse(c.text);
        EXPECT_EQ(p.entries.size(), c.entries) << c.name;
        EXPECT_EQ(p.errors, c.errors) << c.name;
        EXPECT_EQ(p.steps, c.steps) << c.name;
    }
}

struct BreakCase {
    const char* bytes;
    size_t count;
    size_t breaks;
};

TEST(CsvWhitelistText, CountsEachKindOfBreakOnceUpToFirstZero)
{
    const BreakCase cases[] = {
        {"", 0, 0},
        {"a", 1, 0},
        {"a\r\nb\r\n", 6, 2},
        {"a\nb\rc", 5, 2},
        {"\r\n\r\n\n\r", 6, 4},
        {"\n\r", 2, 2},
        {"a\r\n\0\r\n", 6, 1},
        {"\r", 1, 1},
    };
    for (const BreakCase& c : cases) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(c.bytes);
        EXPECT_EQ(CountCsvLineBreaks(bytes, c.count), c.breaks) << testing::PrintToString(std::string(c.bytes, c.count));
    }
}

TEST(CsvWhitelistText, WrittenEntriesReadBackAsTheyWere)
{
    // Only the row separator is CR LF: a text's own LF, CR or CR LF stays as it was.
    const WCHAR japanese[] = {0x30C6, 0x30B9, 0x30C8, ' ', 0x88FD, 0x54C1, 0};
    const Whitelist entries = {
        CsvEntry(0, 1, 0x0951, 0, 0x1666, 1, _T("001A"), 0, _T(""), 0, _T("")),
        CsvEntry(2, 1, 0xFFFF, 1, 0x0000, 0, _T(""), 1, _T("Maker, Inc."), 1, _T("\"Quoted\" Stick")),
        CsvEntry(0, 0, 0x1234, 0, 0x5678, 1, _T(" blanks "), 0, _T(","), 1, japanese),
        CsvEntry(2, 1, 1, 1, 2, 1, _T("\""), 1, _T("\"\""), 1, _T("a\",\"b")),
        CsvEntry(0, 0, 0, 0, 0, 1, _T("cr\ronly"), 1, _T("lf\nonly"), 1, _T("crlf\r\nkept")),
    };
    int steps = 0;
    CsvFileJob job;
    job.progress = CountStep;
    job.argument = &steps;
    const CString document = BuildWhitelistCsvDocument(job, entries);
    EXPECT_EQ(steps, 5);
    EXPECT_NE(document.Find(_T("\"lf\nonly\"")), -1);
    EXPECT_TRUE(BuildWhitelistCsvDocument(job, Whitelist()).IsEmpty());

    const Parsed p = Parse(document);
    EXPECT_TRUE(p.errors.empty());
    EXPECT_EQ(p.entries, entries);
}

}  // namespace
