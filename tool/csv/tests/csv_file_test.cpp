//
//  The Windows routines over real files in code page 932: golden files checked in beside this
//  test (data/make_golden.py writes them), files written and read back, the file errors, and
//  exports that fail midway (on a disk that fills up, WriteFile being taken over for this test
//  executable, or for want of memory).
//
#include "classlib/CFile.h"
#include "core/tests/failing_allocation.h"
#include "testbed/machine/interpose.h"
#include "tool/csv/CsvWhitelistFile.h"
#include "tool/csv/tests/csv_test_support.h"
#include "tool/tests/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Quelmar;

// A disk that fills up: while a test gives this thread some room, its writes take that many
// more bytes at most, and the write that does not fit stores what fits and fails as on a full
// disk. Without room given, WriteFile is the system's.
thread_local long long g_diskRoom = -1;

BOOL WINAPI WriteFileToSmallDisk(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    static auto real = testbed::RealFunction<decltype(&::WriteFile)>(L"kernel32.dll", "WriteFile");
    if (g_diskRoom < 0) {
        return real(file, buffer, count, written, overlapped);
    }
    const DWORD fits = count <= g_diskRoom ? count : static_cast<DWORD>(g_diskRoom);
    DWORD done = 0;
    const BOOL wrote = real(file, buffer, fits, &done, overlapped);
    g_diskRoom -= done;
    if (written != nullptr) {
        *written = done;
    }
    if (wrote && fits < count) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return wrote;
}

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

// An export leaves the file at the path holding either the whole new text or what it held
// before, and no other file beside it; a file that cannot be written is reported before the
// first row is built.
TEST_F(CsvWhitelistFileTest, ExportReplacesTheFileWholeOrLeavesItAsItWas)
{
    // The yen sign shows something only where the code page has a look-alike for it.
    char bestFit = 0;
    ASSERT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, L"\u00A5", 1, &bestFit, 1, nullptr, nullptr), 1);
    ASSERT_EQ(bestFit, '\\') << "this code page writes no look-alike for the yen sign";
    // The product's own LF stays one byte; characters outside the code page become "?".
    const std::string written = FileBytes(Golden(L"written.csv"));
    const std::string earlier(200, 'x');
    const std::string empty;
    enum Failure { kNone, kMissingFolder, kTargetHeld, kDiskFull, kMemoryOut };
    const struct {
        const char* name;
        bool earlierFile;
        bool noRows;
        Failure failure;
        const std::string* after;   // null: no file
        int steps;
    } cases[] = {
        {"new file", false, false, kNone, &written, 3},
        {"longer earlier file", true, false, kNone, &written, 3},
        {"no rows", true, true, kNone, &empty, 0},
        {"missing folder", false, false, kMissingFolder, nullptr, 0},
        {"earlier file held by another program", true, false, kTargetHeld, &earlier, 0},
        {"disk full midway through the earlier file", true, false, kDiskFull, &earlier, 3},
        {"memory out while the text is built", false, false, kMemoryOut, nullptr, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tooltest::TempFolder folder;
        const CString path(folder.File(c.failure == kMissingFolder ? L"none\\list.csv" : L"list.csv").c_str());
        if (c.earlierFile) {
            PutFileBytes(path, earlier);
        }
        steps_ = 0;
        CsvFileJob job = Job(path);
        if (c.failure == kMemoryOut) {
            job.progress = [](LPVOID steps) {
                CountStep(steps);
                oomtest::g_allocationsBeforeFailure = 0;
            };
        }
        bool fileError = false;
        bool otherError = false;
        {
            CFile holder;
            if (c.failure == kTargetHeld) {
                ASSERT_TRUE(holder.Open(path, CFile::modeRead | CFile::shareDenyWrite));
            }
            g_diskRoom = c.failure == kDiskFull ? 40 : -1;
            try {
                WriteWhitelistCsv(job, c.noRows ? Whitelist() : WrittenEntries());
            } catch (const CFileException&) {
                fileError = true;
            } catch (...) {
                otherError = true;
            }
            oomtest::g_allocationsBeforeFailure = -1;
            g_diskRoom = -1;
        }
        EXPECT_EQ(fileError, c.failure != kNone && c.failure != kMemoryOut);
        EXPECT_EQ(otherError, c.failure == kMemoryOut);
        EXPECT_EQ(steps_, c.steps);
        EXPECT_EQ(folder.Files(), c.after != nullptr ? std::vector<std::wstring>{L"list.csv"} : std::vector<std::wstring>());
        if (c.after != nullptr) {
            EXPECT_EQ(FileBytes(path), *c.after);
        }
    }
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

TEST_F(CsvWhitelistFileTest, MissingFileIsAFileError)
{
    Whitelist entries;
    CsvErrorList errors;
    try {
        ReadWhitelistCsv(errors, Job(path_), entries);
        ADD_FAILURE() << "no exception for a missing file";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    }
}

}  // namespace

TESTBED_INTERPOSE(WriteFile, 20, WriteFileToSmallDisk)
