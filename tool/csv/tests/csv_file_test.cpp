//
//  The Windows routines over real files in code page 932: golden files checked in beside this
//  test (data/make_golden.py writes them), files written and read back, and the file errors.
//
#include "classlib/CFile.h"
#include "tool/csv/CsvWhitelistFile.h"
#include "tool/csv/tests/csv_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Quelmar;

const LCID kJapanese = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);

void CountStep(LPVOID argument)
{
    ++*static_cast<int*>(argument);
}

std::string FileBytes(const CString& path)
{
    CFile file(path, CFile::modeRead | CFile::shareDenyNone);
    std::string bytes(static_cast<size_t>(file.GetLength()), '\0');
    if (!bytes.empty()) {
        file.Read(&bytes[0], static_cast<UINT>(bytes.size()));
    }
    return bytes;
}

void PutFileBytes(const CString& path, const std::string& bytes)
{
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    if (!bytes.empty()) {
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    }
}

// The whitelist CSV follows the thread's ANSI code page; these tests run the thread as a
// Japanese one, so that the golden Shift-JIS files decode whatever the prefix's own locale is.
class CsvWhitelistFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousLocale_ = GetThreadLocale();
        ASSERT_TRUE(SetThreadLocale(kJapanese));
        char bytes[4] = {};
        const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, L"\u30C6", 1, bytes, sizeof bytes, nullptr, nullptr);
        ASSERT_TRUE(written == 2 && bytes[0] == '\x83' && bytes[1] == '\x65')
            << "the thread's ANSI code page is not 932; run under LANG=ja_JP.UTF-8";

        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = CString(temp) + L"qevrin-csv-" + CString(std::to_wstring(GetCurrentProcessId()).c_str()) + L".csv";
        DeleteFileW(path_);
    }
    void TearDown() override
    {
        DeleteFileW(path_);
        SetThreadLocale(previousLocale_);
    }

    static CString Golden(const wchar_t* name) { return CString(QEVRIN_CSV_TEST_DATA L"/") + name; }
    CsvFileJob Job(const CString& path)
    {
        CsvFileJob job;
        job.path = path;
        job.progress = CountStep;
        job.argument = &steps_;
        return job;
    }

    LCID previousLocale_ = 0;
    CString path_;
    int steps_ = 0;
};

const wchar_t kWrittenMaker[] = L"\u30BD\u30CB\u30FC, Inc.";
const wchar_t kWrittenProduct[] = L"\u8868\u793A \"\u9AD8\u901F\"\n\u4E8C\u884C\u76EE";

Whitelist WrittenEntries()
{
    return {
        CsvEntry(2, 1, 0x0781, 1, 0x5567, 1, L"4C53", 0, L"", 0, L""),
        CsvEntry(0, 0, 0, 0, 0, 0, L"", 1, kWrittenMaker, 1, kWrittenProduct),
        // Hangul and the yen sign are outside code page 932; Windows would write the yen sign
        // as a backslash, a look-alike, unless asked not to.
        CsvEntry(0, 1, 0x0951, 0, 0, 0, L"", 0, L"", 1, L"\uAC00 \u00A5" L"100"),
    };
}

TEST_F(CsvWhitelistFileTest, ReadsGoldenShiftJisFileWithBadLines)
{
    Whitelist entries;
    CsvErrorList errors;
    ReadWhitelistCsv(errors, Job(Golden(L"mixed.csv")), entries);

    const Whitelist expected = {
        CsvEntry(0, 1, 0x0951, 0, 0x1666, 1, L"001A", 0, L"", 0, L""),
        CsvEntry(2, 1, 0x0781, 1, 0x5567, 0, L"", 1, L"Maker, Inc.", 1, L"USB\u30E1\u30E2\u30EA \"\u9AD8\u901F\""),
        CsvEntry(0, 0, 0, 0, 0, 0, L"", 1, L"\u30D0\u30C3\u30D5\u30A1\u30ED\u30FC", 1,
                 L"\u88FD\u54C1\u540D\n\u4E8C\u884C\u76EE"),
        CsvEntry(2, 1, 0x001A, 0, 0, 0, L"", 0, L"", 1, L"\u30BD\u30CB\u30FC\r\n\u30B9\u30C8\u30EC\u30FC\u30B8"),
        CsvEntry(0, 0, 0, 0, 0, 1, L"\u8868\u793A", 0, L"", 0, L""),
    };
    EXPECT_EQ(entries, expected);
    const CsvErrorList expectedErrors = {
        L"4\u884C\u76EE\uFF1A0,\u306F\u3044,0x0001,0,,0,,0,,0,\r\n",
        L"5\u884C\u76EE\uFF1A0,1,-1,0,,0,,0,,0,\r\n",
        L"7\u884C\u76EE\uFF1A0,1,0x0951,0,0x1666,1,001A,0,,0\r\n",
    };
    EXPECT_EQ(errors, expectedErrors);
    EXPECT_EQ(steps_, 8);
}

TEST_F(CsvWhitelistFileTest, CountsLineBreaksOfGoldenFile)
{
    EXPECT_EQ(CountCsvLines(Job(Golden(L"mixed.csv"))), 10);
    EXPECT_EQ(CountCsvLines(Job(Golden(L"written.csv"))), 4);
}

TEST_F(CsvWhitelistFileTest, WritesGoldenBytesWithCrLfOnlyBetweenRows)
{
    // The yen sign shows something only where the code page has a look-alike for it.
    char bestFit = 0;
    ASSERT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, L"\u00A5", 1, &bestFit, 1, nullptr, nullptr), 1);
    ASSERT_EQ(bestFit, '\\') << "this code page writes no look-alike for the yen sign";

    // The product's own LF stays one byte; characters outside the code page become "?".
    WriteWhitelistCsv(Job(path_), WrittenEntries());
    EXPECT_EQ(FileBytes(path_), FileBytes(Golden(L"written.csv")));
    EXPECT_EQ(steps_, 3);
}

TEST_F(CsvWhitelistFileTest, WritingReplacesLongerFileAndEmptyListTruncates)
{
    PutFileBytes(path_, std::string(5000, 'x'));
    const Whitelist one = {CsvEntry(0, 1, 1, 0, 0, 0, L"", 0, L"", 0, L"")};
    WriteWhitelistCsv(Job(path_), one);
    EXPECT_EQ(FileBytes(path_), "0,1,0x0001,0,0x0000,0,,0,,0,\r\n");
    WriteWhitelistCsv(Job(path_), Whitelist());
    EXPECT_EQ(FileBytes(path_), "");
}

TEST_F(CsvWhitelistFileTest, RefusesHugeFileWithFileErrorAndKeepsLists)
{
    {
        // Sparse: the length is set, no byte written.
        CFile file(path_, CFile::modeCreate | CFile::modeWrite);
        file.SetLength(3ull * 1024 * 1024 * 1024);
    }
    Whitelist entries = {CsvEntry(0, 1, 1, 0, 0, 0, L"", 0, L"", 0, L"")};
    CsvErrorList errors = {L"kept"};
    EXPECT_THROW(ReadWhitelistCsv(errors, Job(path_), entries), CFileException);
    EXPECT_THROW(CountCsvLines(Job(path_)), CFileException);
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_EQ(errors, CsvErrorList{L"kept"});
    EXPECT_EQ(steps_, 0);
}

TEST_F(CsvWhitelistFileTest, MissingFileOrFolderIsAFileError)
{
    Whitelist entries;
    CsvErrorList errors;
    try {
        ReadWhitelistCsv(errors, Job(path_), entries);
        ADD_FAILURE() << "no exception for a missing file";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    }
    EXPECT_THROW(WriteWhitelistCsv(Job(path_ + L"-none\\x.csv"), Whitelist()), CFileException);
    EXPECT_EQ(steps_, 0);
}

}  // namespace
