#include "tool/CCSVInOutDlg.h"

#include "classlib/CException.h"
#include "classlib/CFile.h"
#include "classlib/DataExchange.h"
#include "tool/CWhiteListControl.h"
#include "tool/CsvImportSummary.h"
#include "tool/FormatLocalTime.h"
#include "tool/csv/CsvAnsiText.h"
#include "tool/csv/CsvWhitelistFile.h"
#include "tool/resource.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <string>

namespace {

constexpr UINT kMaxErrorMessage = 1024;
// About as often as the bar can move by a pixel of its width.
constexpr int kBarUpdates = 256;

CString Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text;
}

int ShowMessage(const CCSVInOutDlg* dialog, const CString& text, UINT style)
{
    return ::MessageBoxW(dialog->m_hWnd, text, Loaded(IDS_SHEET_CAPTION), style);
}

// The failure text, with the class library's reason when there is one.
void ShowFailure(const CCSVInOutDlg* dialog, UINT textId, const CException* reason)
{
    CString text = Loaded(textId);
    if (reason != nullptr) {
        WCHAR message[kMaxErrorMessage] = {};
        reason->GetErrorMessage(message, kMaxErrorMessage);
        text += L"\r\n\r\n";
        text += message;
    }
    ShowMessage(dialog, text, MB_ICONERROR);
}

Quelmar::CsvFileJob JobOf(CCSVInOutDlg* dialog)
{
    Quelmar::CsvFileJob job;
    job.path = *dialog->m_path;
    job.progress = &CCSVInOutDlg::StepProgress;
    job.argument = dialog;
    return job;
}

void SendProgress(CCSVInOutDlg* dialog, int code, LPARAM value)
{
    ::SendMessageW(dialog->m_hWnd, WM_APP_PROGRESS, static_cast<WPARAM>(code), value);
}

// Every error text, in the ANSI code page, one after the other. Throws on failure.
void WriteErrorLog(const CString& logPath, const Quelmar::CsvErrorList& errors)
{
    CFile log(logPath, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite);
    for (const CString& line : errors) {
        const std::string bytes = Quelmar::TextToAnsiBytes(line, logPath);
        log.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    }
    log.Close();
}

void ReportRejectedLines(CCSVInOutDlg* dialog, const Quelmar::CsvErrorList& errors)
{
    CString summary = Loaded(IDS_CSV_SOME_LINES_FAILED);
    summary += L"\r\n\r\n";
    AppendSummaryErrorLines(summary, errors);

    const CString logName = FormatLocalTime(L"err%Y%m%d%H%M%S.log", _time64(nullptr));
    const CString logPath = CsvErrorLogPath(*dialog->m_path, logName);
    bool written = false;
    // Without a name the path would be the CSV's folder itself; that is no log.
    if (!logName.IsEmpty()) {
        try {
            WriteErrorLog(logPath, errors);
            written = true;
        } catch (...) {
        }
    }
    if (!written) {
        ShowMessage(dialog, Loaded(IDS_CSV_LOG_FAILED), MB_ICONERROR);
    } else {
        summary += logPath;
        summary += Loaded(IDS_CSV_LOG_SAVED);
    }
    ShowMessage(dialog, summary, MB_ICONWARNING);
}

// Copies of every row's entry, made on the list's thread; false, with none kept, when the
// copies could not all be made.
bool CopyRows(CCSVInOutDlg* dialog, Quelmar::Whitelist& entries)
{
    return dialog->m_list->SendMessage(WM_APP_COPY_ENTRIES, 0, reinterpret_cast<LPARAM>(&entries)) != FALSE;
}

// Replaces the list's rows with the entries; whether every entry became a row. The list is
// changed only through its messages, which the dialog's thread runs: the rows go in by blocks,
// one message each, into room made for all of them at once, and are not drawn meanwhile, or
// each row would update the list's scroll bars. A block that took fewer rows than it carried
// ends the filling.
bool ReplaceRows(CCSVInOutDlg* dialog, const Quelmar::Whitelist& entries, bool stepping)
{
    CWhiteListControl* list = dialog->m_list;
    list->SendMessage(WM_SETREDRAW, FALSE);
    list->DeleteAllItems();
    list->SetItemCount(static_cast<int>(entries.size()));
    const size_t block = static_cast<size_t>(dialog->StepsPerMessage());
    bool complete = true;
    for (size_t first = 0; complete && first < entries.size(); first += block) {
        const size_t count = std::min(block, entries.size() - first);
        const LRESULT added =
            list->SendMessage(WM_APP_APPEND_ENTRIES, count, reinterpret_cast<LPARAM>(&entries[first]));
        complete = added == static_cast<LRESULT>(count);
        if (stepping) {
            dialog->QueueSteps(static_cast<int>(count));
        }
    }
    if (stepping) {
        dialog->FlushSteps();
    }
    list->SendMessage(WM_SETREDRAW, TRUE);
    list->SendMessage(WM_APP_FIT_COLUMN);
    return complete;
}

// The read entries become the list's rows. When they cannot all go in, the rows the list had
// come back, so that nothing short of the file is kept as if imported; the list's old rows
// are copied first for that.
CCSVInOutDlg::ListOutcome ImportRows(CCSVInOutDlg* dialog, Quelmar::Whitelist& entries)
{
    Quelmar::Whitelist previous;
    if (!CopyRows(dialog, previous)) {
        return CCSVInOutDlg::kListKept;
    }
    if (ReplaceRows(dialog, entries, true)) {
        return CCSVInOutDlg::kListImported;
    }
    // The room the read entries take is what the old rows need back.
    Quelmar::Whitelist().swap(entries);
    return ReplaceRows(dialog, previous, false) ? CCSVInOutDlg::kListKept : CCSVInOutDlg::kListLost;
}

}  // namespace

CCSVInOutDlg::CCSVInOutDlg(const CString* path, CWhiteListControl* list, int mode, CWnd* parent)
    : CDialog(IDD_CSV_IN_OUT, parent), m_path(path), m_list(list), m_mode(mode)
{
}

CCSVInOutDlg::~CCSVInOutDlg()
{
    // Only when the modal loop left early (the program quitting): the worker still uses this
    // object, the caller's path and list, so they must not go before it. It changes the list
    // by messages that this thread handles: the wait lets them through, and leaves what is
    // posted (the quit among it) to the loop outside.
    if (!m_thread.IsValid()) {
        return;
    }
    HANDLE worker = m_thread.Get();
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void CCSVInOutDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_CSV_PROGRESS, m_progress);
}

BOOL CCSVInOutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_threadId = 0;
    LPTHREAD_START_ROUTINE worker = nullptr;
    if (m_mode == kImport) {
        worker = &ImportWhitelistWorker;
    } else if (m_mode == kExport) {
        worker = &ExportWhitelistWorker;
    }
    if (worker != nullptr) {
        m_thread.Reset(CreateThread(nullptr, 0, worker, this, 0, &m_threadId));
    }
    if (!m_thread.IsValid()) {
        ::PostMessageW(m_hWnd, WM_APP_PROGRESS, kEnd, kNoWorker);
    }
    return TRUE;
}

void CCSVInOutDlg::StepProgress(LPVOID dialog)
{
    if (dialog != nullptr) {
        static_cast<CCSVInOutDlg*>(dialog)->QueueSteps(1);
    }
}

void CCSVInOutDlg::SetProgressRange(int steps)
{
    stepsPerMessage_ = steps / kBarUpdates > 1 ? steps / kBarUpdates : 1;
    pendingSteps_ = 0;
    SendProgress(this, kSetRange, steps);
}

void CCSVInOutDlg::QueueSteps(int steps)
{
    pendingSteps_ += steps;
    if (pendingSteps_ >= stepsPerMessage_) {
        FlushSteps();
    }
}

void CCSVInOutDlg::FlushSteps()
{
    if (pendingSteps_ > 0) {
        SendProgress(this, kStep, pendingSteps_);
        pendingSteps_ = 0;
    }
}

LRESULT CCSVInOutDlg::OnProgress(WPARAM code, LPARAM value)
{
    switch (code) {
    case kSetRange:
        // The 32-bit range: a whitelist of more than 32767 rows must not wrap the bar.
        m_progress.SetRange32(0, static_cast<int>(value));
        m_progress.SetPos(0);
        m_progress.SetStep(1);
        break;
    case kStep:
        if (value > 1) {
            m_progress.OffsetPos(static_cast<int>(value));
        } else {
            m_progress.StepIt();
        }
        break;
    case kEnd:
        m_thread.Reset();
        EndDialog(static_cast<int>(value));
        break;
    default:
        break;
    }
    return 0;
}

BOOL CCSVInOutDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_APP_PROGRESS) {
        *result = OnProgress(wParam, lParam);
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, result);
}

DWORD WINAPI ImportWhitelistWorker(LPVOID parameter)
{
    CCSVInOutDlg* dialog = static_cast<CCSVInOutDlg*>(parameter);
    Quelmar::Whitelist entries;
    Quelmar::CsvErrorList errors;
    bool read = false;
    try {
        const Quelmar::CsvFileJob job = JobOf(dialog);
        const int lines = Quelmar::CountCsvLines(job);
        // One step per line read and one per row added (held at the largest range there is).
        dialog->SetProgressRange(lines > INT_MAX / 2 ? INT_MAX : lines * 2);
        Quelmar::ReadWhitelistCsv(errors, job, entries);
        dialog->FlushSteps();
        read = true;
    } catch (const CException& failure) {
        ShowFailure(dialog, IDS_CSV_IMPORT_FAILED, &failure);
    } catch (...) {
        ShowFailure(dialog, IDS_CSV_IMPORT_FAILED, nullptr);
    }
    if (read) {
        const CCSVInOutDlg::ListOutcome outcome = ImportRows(dialog, entries);
        dialog->m_listOutcome = outcome;
        if (outcome == CCSVInOutDlg::kListLost) {
            ShowFailure(dialog, IDS_CSV_ROWS_LOST, nullptr);
        } else if (outcome == CCSVInOutDlg::kListKept) {
            ShowFailure(dialog, IDS_CSV_IMPORT_FAILED, nullptr);
        } else if (!errors.empty()) {
            ReportRejectedLines(dialog, errors);
        }
    }
    PostMessageW(dialog->m_hWnd, WM_APP_PROGRESS, CCSVInOutDlg::kEnd, CCSVInOutDlg::kWorkerFinished);
    return 0;
}

DWORD WINAPI ExportWhitelistWorker(LPVOID parameter)
{
    CCSVInOutDlg* dialog = static_cast<CCSVInOutDlg*>(parameter);
    Quelmar::Whitelist entries;
    // Without every row no file is written: a shorter one would pass for the whole list.
    if (!CopyRows(dialog, entries)) {
        ShowFailure(dialog, IDS_CSV_EXPORT_FAILED, nullptr);
    } else {
        try {
            dialog->SetProgressRange(dialog->m_list->GetItemCount());
            Quelmar::WriteWhitelistCsv(JobOf(dialog), entries);
            dialog->FlushSteps();
        } catch (const CException& failure) {
            ShowFailure(dialog, IDS_CSV_EXPORT_FAILED, &failure);
        } catch (...) {
            ShowFailure(dialog, IDS_CSV_EXPORT_FAILED, nullptr);
        }
    }
    PostMessageW(dialog->m_hWnd, WM_APP_PROGRESS, CCSVInOutDlg::kEnd, CCSVInOutDlg::kWorkerFinished);
    return 0;
}
