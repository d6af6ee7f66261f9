#include "tool/csv/CsvField.h"
#include "tool/csv/CsvWhitelistReader.h"
#include "tool/csv/tests/csv_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Quelmar::CsvWhitelistReader;

// Each text is written as its quoted form, and the quoted form reads back as the text.
struct QuoteCase {
    const WCHAR* text;
    const WCHAR* quoted;
};

TEST(CsvField, QuotesOnlyWhatNeedsItAndUnquotesBack)
{
    const QuoteCase cases[] = {
        {_T(""), _T("")},
        {_T(" lead blank"), _T(" lead blank")},
        {_T("a,b"), _T("\"a,b\"")},
        {_T("a\rb"), _T("\"a\rb\"")},
        {_T("a\nb"), _T("\"a\nb\"")},
        {_T("say \"hi\""), _T("\"say \"\"hi\"\"\"")},
        {_T("\""), _T("\"\"\"\"")},
        {_T("q\",x"), _T("\"q\"\",x\"")},
    };
    for (const QuoteCase& c : cases) {
        EXPECT_EQ(Quelmar::QuoteCsvField(c.text), CString(c.quoted)) << testing::PrintToString(CString(c.text));
        EXPECT_EQ(Quelmar::UnquoteCsvField(c.quoted), CString(c.text)) << testing::PrintToString(CString(c.quoted));
    }
    // A lone quote has no closing quote of its own: nothing is stripped, nothing underflows.
    EXPECT_EQ(Quelmar::UnquoteCsvField(_T("\"")), CString(_T("\"")));
    EXPECT_EQ(Quelmar::UnquoteCsvField(_T("\"open only")), CString(_T("\"open only")));
}

// Every line until ReadLine says none may follow; a further call gives nothing.
std::vector<CString> AllLines(const WCHAR* text)
{
    CsvWhitelistReader reader(text);
    std::vector<CString> lines;
    int more = 1;
    while (more) {
        more = reader.ReadLine();
        lines.push_back(reader.Line());
    }
    EXPECT_EQ(reader.LineCount(), static_cast<int>(lines.size()));
    EXPECT_EQ(reader.ReadLine(), 0);
    EXPECT_TRUE(reader.Line().IsEmpty());
    return lines;
}

struct LineCase {
    const char* name;
    const WCHAR* text;
    std::vector<CString> lines;
};

TEST(CsvWhitelistReader, SplitsLinesAtBreaksOutsideQuotes)
{
    const LineCase cases[] = {
        {"one line without break", _T("a,b"), {_T("a,b")}},
        {"trailing CR LF", _T("a\r\nb\r\n"), {_T("a"), _T("b")}},
        {"bare LF and bare CR", _T("a\nb\rc"), {_T("a"), _T("b"), _T("c")}},
        {"blank lines are one break", _T("a\r\n\r\n\n\rb"), {_T("a"), _T("b")}},
        {"leading break gives an empty first line", _T("\r\na"), {_T(""), _T("a")}},
        {"quoted LF stays in the line", _T("1,\"x\ny\",2\r\nz"), {_T("1,\"x\ny\",2"), _T("z")}},
        {"quoted CR LF stays in the line", _T("\"x\r\ny\"\r\n"), {_T("\"x\r\ny\"")}},
        {"doubled quotes pair up", _T("\"a\"\"\nb\"\"\"\nc"), {_T("\"a\"\"\nb\"\"\""), _T("c")}},
        {"unclosed quote takes the rest", _T("a\n\"b\nc"), {_T("a"), _T("\"b\nc")}},
        {"lone quote at the very end", _T("a\n\""), {_T("a"), _T("\"")}},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(AllLines(c.text), c.lines) << c.name;
    }
}

struct FieldCase {
    const char* name;
    const WCHAR* line;
    std::vector<CString> fields;   // as read until ReadField returns 0
};

TEST(CsvWhitelistReader, ReadsFieldsOfALine)
{
    const FieldCase cases[] = {
        {"bare fields", _T("1,,0x0951"), {_T("1"), _T(""), _T("0x0951")}},
        {"trailing comma ends with an empty field", _T("a,"), {_T("a"), _T("")}},
        {"quoted with comma", _T("\"a,b\",c"), {_T("a,b"), _T("c")}},
        {"quoted last field", _T("x,\"a\"\"b\""), {_T("x"), _T("a\"b")}},
        {"quoted line break", _T("\"a\nb\",c"), {_T("a\nb"), _T("c")}},
        {"quote inside a bare field is kept", _T("ab\"c,d"), {_T("ab\"c"), _T("d")}},
        {"quote followed by other text is skipped over", _T("\"a\"b\",c"), {_T("a\"b"), _T("c")}},
        {"unclosed quote gives an empty last field", _T("x,\"abc"), {_T("x"), _T("")}},
        {"lone quote as the last character", _T("x,\""), {_T("x"), _T("")}},
        {"doubled quote leaves the field unclosed", _T("\"\"\""), {_T("")}},
        {"empty quoted field", _T("\"\",1"), {_T(""), _T("1")}},
    };
    for (const FieldCase& c : cases) {
        CsvWhitelistReader reader(c.line);
        reader.ReadLine();
        reader.RewindFields();
        std::vector<CString> fields;
        int more = 1;
        while (more && fields.size() < 20) {
            more = reader.ReadField();
            fields.push_back(reader.Field());
        }
        EXPECT_EQ(fields, c.fields) << c.name;
        EXPECT_EQ(reader.ReadField(), 0) << c.name;
        EXPECT_TRUE(reader.Field().IsEmpty()) << c.name;
    }
}

}  // namespace
