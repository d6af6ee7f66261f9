//
//  The CSV import and export dialog: its worker's effect on the list, the summary and error
//  log of rejected lines, the failure messages, and a dialog that cannot be ended before its
//  worker is done. Also the texts around the summary and the log's name.
//
#include "core/tests/failing_allocation.h"
#include "core/tests/stick_entry.h"
#include "tool/CCSVInOutDlg.h"
#include "tool/CWhiteListControl.h"
#include "tool/CsvImportSummary.h"
#include "tool/FormatLocalTime.h"
#include "tool/csv/CsvWhitelistFile.h"
#include "tool/resource.h"
#include "tool/tests/test_files.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

using tooltest::ReadBytes;
using tooltest::TempFolder;
using tooltest::WriteBytes;

namespace {

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

// The whitelist list, which can hold the dialog's thread at the worker's first change to it
// (emptying the list before the rows go in) until a step of the test has been taken, and can
// run out of memory on the dialog's thread while it handles one message of the worker.
class HeldList : public CWhiteListControl {
public:
    std::function<void()> onFirstChange;
    // The handling of the failingCall-th failingMessage (counted from 1; none when the message
    // is 0) lets allocationsBeforeFailure allocations through and fails the rest.
    UINT failingMessage = 0;
    int failingCall = 1;
    long allocationsBeforeFailure = 0;

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == LVM_DELETEALLITEMS && onFirstChange) {
            std::function<void()> hold;
            hold.swap(onFirstChange);
            hold();
        }
        if (failingMessage != 0 && message == failingMessage && --failingCall == 0) {
            failingMessage = 0;
            oomtest::FailingAllocations failing(allocationsBeforeFailure);
            return CWhiteListControl::OnWndMsg(message, wParam, lParam, result);
        }
        return CWhiteListControl::OnWndMsg(message, wParam, lParam, result);
    }
};

// A modeless dialog of the tool's resources that owns the whitelist list, as a page would.
class CsvDialogHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.Create(IDD_SELECT_USB_STORAGE));
        host_.ShowWindow(SW_SHOW);
        ASSERT_TRUE(list_.SubclassWindow(host_.GetDlgItem(IDC_DEVICE_LIST)));
        list_.SetColumns();
        uiThread_ = GetCurrentThreadId();
    }
    void TearDown() override
    {
        list_.DeleteAllItems();
        if (host_.m_hWnd != nullptr) {
            host_.DestroyWindow();
        }
    }
    std::vector<Quelmar::WhitelistEntry> Rows() const
    {
        std::vector<Quelmar::WhitelistEntry> rows;
        list_.GetAllEntries(rows);
        return rows;
    }
    // Runs the dialog over the list while script acts on its window; ends a failing run.
    INT_PTR RunDialog(int mode, const CString& path, const std::function<void(HWND)>& script)
    {
        CCSVInOutDlg dialog(&path, &list_, mode, &host_);
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread_, IDC_CSV_PROGRESS, 8000);
            if (window == nullptr) {
                return;
            }
            script(window);
            if (!ui::WaitUntil([&] { return !IsWindow(window); }, 5000)) {
                PostMessageW(window, WM_APP_PROGRESS, CCSVInOutDlg::kEnd, 0);
            }
        });
        return dialog.DoModal();
    }

    CDialog host_;
    HeldList list_;
    DWORD uiThread_ = 0;
};

// Message boxes of the worker run on the worker's thread, not the test's.
HWND WaitForAnyMessageBox(HWND owner, DWORD timeoutMs)
{
    HWND found = nullptr;
    ui::WaitUntil(
        [&] {
            found = nullptr;
            HWND window = nullptr;
            while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
                if (GetWindow(window, GW_OWNER) == owner && GetDlgItem(window, 0xFFFF) != nullptr &&
                    IsWindowVisible(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::wstring CloseBox(HWND box)
{
    if (box == nullptr) {
        return std::wstring();
    }
    const std::wstring text = ui::ItemText(box, 0xFFFF);
    ui::Click(box, IDOK);
    ui::WaitUntil([&] { return !IsWindow(box); }, 5000);
    return text;
}

// The dialog's failure message: the text alone, or with the reason the system gave after it.
void ExpectFailureMessage(const std::wstring& message, const std::wstring& failed, bool withReason)
{
    if (withReason) {
        EXPECT_EQ(message.substr(0, failed.size() + 4), failed + L"\r\n\r\n");
        EXPECT_GT(message.size(), failed.size() + 4);
    } else {
        EXPECT_EQ(message, failed);
    }
}

}  // namespace

TEST(CsvImportSummary, ListsTwentyLinesAtMostCutToThirtyCharacters)
{
    const CString thirty = CString(L'a', 28) + L"\r\n";
    const CString thirtyOne = CString(L'b', 29) + L"\r\n";
    struct Case {
        Quelmar::CsvErrorList errors;
        CString expected;
    };
    Quelmar::CsvErrorList twenty(20, CString(L"1行目：x\r\n"));
    CString twentyShown;
    for (int i = 0; i < 20; ++i) {
        twentyShown += L"1行目：x\r\n";
    }
    Quelmar::CsvErrorList twentyFive(25, CString(L"1行目：x\r\n"));
    const Case cases[] = {
        {{thirty}, thirty},
        {{thirtyOne}, CString(L'b', 29) + L"\r...\r\n"},
        {twenty, twentyShown},
        {twentyFive, twentyShown + L"...\r\n"},
        {{}, CString()},
    };
    for (const Case& c : cases) {
        CString summary;
        AppendSummaryErrorLines(summary, c.errors);
        EXPECT_EQ(summary, c.expected);
    }
}

TEST(CsvImportSummary, PutsTheLogBesideTheCsvFile)
{
    const struct {
        const wchar_t* csv;
        const wchar_t* log;
    } cases[] = {
        {L"C:\\data\\list.csv", L"C:\\data\\err.log"},
        {L"C:\\list.csv", L"C:\\err.log"},
        {L"\\\\server\\share\\list.csv", L"\\\\server\\share\\err.log"},
        {L"list.csv", L"\\err.log"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvErrorLogPath(c.csv, L"err.log"), c.log) << c.csv;
    }
}

TEST(FormatLocalTime, NamesTheLogAfterTheLocalTime)
{
    SYSTEMTIME local = {2025, 3, 0, 2, 9, 5, 7, 0};
    SYSTEMTIME utc = {};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    FILETIME fileTime = {};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &fileTime));
    const int64_t ticks = (static_cast<int64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    const int64_t seconds = (ticks - 116444736000000000LL) / 10000000LL;
    EXPECT_EQ(FormatLocalTime(L"err%Y%m%d%H%M%S.log", seconds), L"err20250302090507.log");
    EXPECT_EQ(FormatLocalTime(L"%Y/%m/%d %H:%M:%S", seconds), L"2025/03/02 09:05:07");
}

TEST(FormatLocalTime, IsEmptyWhenTheTimeHasNoLocalFormOrTheTextDoesNotFit)
{
    EXPECT_EQ(FormatLocalTime(L"%Y", -1), L"");
    EXPECT_EQ(FormatLocalTime(L"%Y", 0x7FFFFFFFFFFFFFFFLL), L"");
    const std::wstring longFormat(200, L'x');
    EXPECT_EQ(std::wstring(FormatLocalTime(longFormat.c_str(), 0).GetString()), L"");
}

// While the summary waits for its answer the worker still runs: the dialog must survive
// Enter, Escape and close, and the page behind it must take no input.
TEST_F(CsvDialogHost, ImportReplacesTheRowsAndLogsRejectedLinesWhileTheDialogStaysUp)
{
    TempFolder folder;
    const std::wstring csvPath = folder.File(L"list.csv");
    WriteBytes(csvPath, "1,1,0x0781,1,0x5567,1,4C53,0,,0,\r\n"
                        "0,0,0x0000,0,0x0000,0,,0,,0\r\n"
                        "0,1,0x0951,0,0x1666,1,001A,0,,0,\r\n"
                        "0,1,-1,0,,0,,0,,0,\r\n"
                        "0,0,,0,,1,\x90\xbb\x91\xa2,0,,0,\r\n");
    list_.AddEntry(StickEntry(0x1234, 0x0001, L"OLD", 0), 1);

    const CString path(csvPath.c_str());
    std::wstring summary;
    bool openDuringSummary = false;
    bool ownerEnabledDuringSummary = true;
    int rangeHigh = 0;
    int position = 0;
    int wideRangeHigh = 0;
    const INT_PTR result = RunDialog(CCSVInOutDlg::kImport, path, [&](HWND window) {
        HWND box = WaitForAnyMessageBox(window, 10000);
        HWND bar = GetDlgItem(window, IDC_CSV_PROGRESS);
        rangeHigh = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
        position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        ui::SaveScreenshot(window, L"csv_dialog_progress");
        if (box != nullptr) {
            ui::SaveScreenshot(box, L"csv_dialog_summary");
        }

        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(window, WM_CLOSE, 0, 0);
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(300);
        openDuringSummary = IsWindow(window) && IsWindowVisible(window);
        ownerEnabledDuringSummary = IsWindowEnabled(host_.m_hWnd) != FALSE;

        // A range beyond 16 bits is kept whole.
        SendMessageW(window, WM_APP_PROGRESS, CCSVInOutDlg::kSetRange, 70000);
        wideRangeHigh = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));

        summary = CloseBox(box);
    });

    EXPECT_EQ(result, CCSVInOutDlg::kWorkerFinished);
    EXPECT_TRUE(openDuringSummary);
    EXPECT_FALSE(ownerEnabledDuringSummary);
    EXPECT_TRUE(IsWindowEnabled(host_.m_hWnd));
    // Five lines read and three rows added, of ten steps.
    EXPECT_EQ(rangeHigh, 10);
    EXPECT_EQ(position, 8);
    EXPECT_EQ(wideRangeHigh, 70000);

    const std::vector<Quelmar::WhitelistEntry> rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].serialNumber, L"4C53");
    EXPECT_EQ(rows[0].attribute, Quelmar::WhitelistReadOnly);
    EXPECT_EQ(rows[1].productId, 0x1666);
    EXPECT_EQ(rows[2].serialNumber, L"製造");

    const std::vector<std::wstring> files = folder.Files();
    ASSERT_EQ(files.size(), 2u);
    const std::wstring logName = files[0] == L"list.csv" ? files[1] : files[0];
    EXPECT_EQ(logName.substr(0, 3), L"err");
    EXPECT_EQ(logName.size(), std::wstring(L"errYYYYMMDDhhmmss.log").size());
    const std::string log = ReadBytes(folder.File(logName.c_str()));
    // Two error texts, each ended by CR LF, in the ANSI code page ("行目" in CP932).
    EXPECT_EQ(log, "2\x8d\x73\x96\xda\x81\x46" "0,0,0x0000,0,0x0000,0,,0,,0\r\n"
                   "4\x8d\x73\x96\xda\x81\x46" "0,1,-1,0,,0,,0,,0,\r\n");

    const std::wstring expectedSummary = Loaded(IDS_CSV_SOME_LINES_FAILED) + L"\r\n\r\n" +
                                         L"2行目：0,0,0x0000,0,0x0000,0,,0,,...\r\n" + L"4行目：0,1,-1,0,,0,,0,,0,\r\n" +
                                         folder.File(logName.c_str()) + Loaded(IDS_CSV_LOG_SAVED);
    EXPECT_EQ(summary, expectedSummary);
}

// A failed import shows why when the file says why, and the rows stay as they were: also when
// the list runs out of memory partway through the new rows, or before it has copied its own.
TEST_F(CsvDialogHost, ImportThatFailsReportsItAndKeepsTheRows)
{
    TempFolder folder;
    const std::wstring csvPath = folder.File(L"list.csv");
    ASSERT_TRUE(WriteBytes(csvPath, "0,1,0x0781,1,0x5567,1,NEW1,0,,0,\r\n"
                                    "0,1,0x0781,1,0x5567,1,NEW2,0,,0,\r\n"
                                    "0,1,0x0781,1,0x5567,1,NEW3,0,,0,\r\n"));
    const std::wstring failed = Loaded(IDS_CSV_IMPORT_FAILED);
    const struct {
        const char* name;
        const wchar_t* file;
        UINT failingMessage;
        int failingCall;
        bool withReason;
    } cases[] = {
        {"missing file", L"absent.csv", 0, 1, true},
        {"second block of rows", L"list.csv", WM_APP_APPEND_ENTRIES, 2, false},
        {"copy of the old rows", L"list.csv", WM_APP_COPY_ENTRIES, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list_.DeleteAllItems();
        list_.AddEntry(StickEntry(0x1234, 0x0001, L"OLD1", 0), 0);
        list_.AddEntry(StickEntry(0x1234, 0x0002, L"OLD2", 0), 1);
        list_.failingMessage = c.failingMessage;
        list_.failingCall = c.failingCall;
        list_.allocationsBeforeFailure = 0;

        const CString path(folder.File(c.file).c_str());
        std::wstring message;
        const INT_PTR result = RunDialog(CCSVInOutDlg::kImport, path,
                                         [&](HWND window) { message = CloseBox(WaitForAnyMessageBox(window, 10000)); });
        EXPECT_EQ(result, CCSVInOutDlg::kWorkerFinished);
        ExpectFailureMessage(message, failed, c.withReason);
        const std::vector<Quelmar::WhitelistEntry> rows = Rows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(std::wstring(rows[0].serialNumber.GetString()), L"OLD1");
        EXPECT_EQ(std::wstring(rows[1].serialNumber.GetString()), L"OLD2");
        EXPECT_EQ(list_.GetItemCount(), 2);
    }
}

TEST_F(CsvDialogHost, ExportWritesEveryRowThatAnImportReadsBack)
{
    TempFolder folder;
    const CString path(folder.File(L"out.csv").c_str());
    list_.AddEntry(StickEntry(0x0781, 0x5567, L"4C53", Quelmar::WhitelistReadOnly), 0);
    list_.AddEntry(StickEntry(0x0951, 0x1666, L"001A", Quelmar::WhitelistFullAccess), 1);
    // A quick export may end before the driver sees the dialog; a message box would hold it up.
    bool anyMessage = false;
    const INT_PTR result = RunDialog(CCSVInOutDlg::kExport, path,
                                     [&](HWND window) { anyMessage = WaitForAnyMessageBox(window, 500) != nullptr; });
    EXPECT_EQ(result, CCSVInOutDlg::kWorkerFinished);
    EXPECT_FALSE(anyMessage);
    EXPECT_EQ(ReadBytes(path.GetString()), "1,1,0x0781,1,0x5567,1,4C53,0,,0,\r\n0,1,0x0951,1,0x1666,1,001A,0,,0,\r\n");
}

// A failed export shows why when the file says why, and writes nothing when the list runs out
// of memory partway through copying its rows: a file already there keeps what it held.
TEST_F(CsvDialogHost, ExportThatFailsReportsItAndWritesNoFile)
{
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File(L"earlier.csv"), "earlier\r\n"));
    const std::wstring failed = Loaded(IDS_CSV_EXPORT_FAILED);
    const struct {
        const char* name;
        const wchar_t* file;
        UINT failingMessage;
        bool withReason;
        const char* contentAfter;  // null: no file
    } cases[] = {
        {"missing folder", L"missing\\out.csv", 0, true, nullptr},
        {"copy of the rows, earlier file", L"earlier.csv", WM_APP_COPY_ENTRIES, false, "earlier\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list_.DeleteAllItems();
        list_.AddEntry(StickEntry(0x0781, 0x5567, L"4C53", 0), 0);
        list_.AddEntry(StickEntry(0x0951, 0x1666, L"001A", 0), 0);
        list_.AddEntry(StickEntry(0x0930, 0x6545, L"C03F", 0), 1);
        // The copy fails after its first allocation, partway through the rows.
        list_.failingMessage = c.failingMessage;
        list_.failingCall = 1;
        list_.allocationsBeforeFailure = 1;

        const std::wstring filePath = folder.File(c.file);
        const CString path(filePath.c_str());
        std::wstring message;
        const INT_PTR result = RunDialog(CCSVInOutDlg::kExport, path,
                                         [&](HWND window) { message = CloseBox(WaitForAnyMessageBox(window, 10000)); });
        EXPECT_EQ(result, CCSVInOutDlg::kWorkerFinished);
        ExpectFailureMessage(message, failed, c.withReason);
        if (c.contentAfter == nullptr) {
            EXPECT_EQ(GetFileAttributesW(filePath.c_str()), INVALID_FILE_ATTRIBUTES);
        } else {
            EXPECT_EQ(ReadBytes(filePath), c.contentAfter);
        }
    }
}

// A quit ends the dialog's loop while the worker still adds rows, by messages that this
// thread handles: the dialog must not wait for the worker without letting them through.
TEST_F(CsvDialogHost, QuitDuringAnImportLetsTheWorkerFinishTheList)
{
    constexpr int kRows = 2000;
    TempFolder folder;
    const std::wstring csvPath = folder.File(L"large.csv");
    std::string bytes;
    for (int i = 0; i < kRows; ++i) {
        bytes += "0,1,0x0781,1,0x5567,1,S" + std::to_string(i) + ",0,,0,\r\n";
    }
    ASSERT_TRUE(WriteBytes(csvPath, bytes));
    const CString path(csvPath.c_str());
    auto dialog = std::make_unique<CCSVInOutDlg>(&path, &list_, CCSVInOutDlg::kImport, &host_);
    // The quit is queued while the worker starts on the list, so the loop ends before it is done.
    list_.onFirstChange = [&] { PostThreadMessageW(uiThread_, WM_QUIT, 0, 0); };
    std::atomic<bool> ended{false};
    std::atomic<DWORD> worker{0};
    bool hung = false;
    {
        ui::Driver watchdog([&] {
            if (!ui::WaitUntil([&] { return ended.load(); }, 30000)) {
                // Deadlocked: end the worker, so that the test fails instead of hanging.
                hung = true;
                ScopedHandle thread(OpenThread(THREAD_TERMINATE, FALSE, worker));
                TerminateThread(thread.Get(), 1);
            }
        });
        EXPECT_EQ(dialog->DoModal(), -1);
        worker = dialog->m_threadId;
        dialog.reset();
        ended = true;
    }
    // The loop leaves the quit for the loop outside it; this test has none.
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(hung);
    EXPECT_EQ(list_.GetItemCount(), kRows);
}

TEST_F(CsvDialogHost, WithoutAWorkerTheDialogEndsWithTwo)
{
    const CString path(L"C:\\unused.csv");
    CCSVInOutDlg dialog(&path, &list_, 0, &host_);
    EXPECT_EQ(dialog.DoModal(), CCSVInOutDlg::kNoWorker);
}
