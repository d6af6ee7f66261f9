#pragma once
//
//  The small progress dialog in which the whitelist is imported from or exported to a CSV
//  file. One worker thread does the file work and reports through WM_APP_PROGRESS; the dialog
//  ends only when the worker says so, because the worker uses the dialog, the caller's path
//  and the caller's list until then. Windows builds only.
//
#include "classlib/CDialog.h"
#include "classlib/CProgressCtrl.h"
#include "classlib/ScopedHandle.h"

#include <atomic>

class CWhiteListControl;

// From the worker: wParam a code (1 range, 2 steps, 3 end), lParam its value. The value of a
// step message is the number of steps it stands for; 0 stands for one.
constexpr UINT WM_APP_PROGRESS = WM_APP + 0x3E9;

class CCSVInOutDlg : public CDialog {
public:
    enum Mode : int { kImport = 1, kExport = 2 };
    enum Progress : int { kSetRange = 1, kStep = 2, kEnd = 3 };
    // End codes: the worker ran (also after a failure it reported), or none was started.
    enum Result : int { kWorkerFinished = 1, kNoWorker = 2 };
    // What an import left in the list: its rows as they were, the file's rows, or neither
    // (the rows it had could not all go back after a failure; the user has been told).
    enum ListOutcome : int { kListKept, kListImported, kListLost };

    // path and list stay the caller's and must outlive the dialog. The parent's top-level
    // window is disabled while the worker runs.
    CCSVInOutDlg(const CString* path, CWhiteListControl* list, int mode, CWnd* parent = nullptr);
    ~CCSVInOutDlg() override;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // Enter, Escape and close must not end the dialog while the worker uses it.
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // The CSV routines' progress callback: one step of the bar.
    static void StepProgress(LPVOID dialog);

    // The worker's side of the bar. A message to the dialog's thread costs far more than a
    // step, so steps are sent in blocks that move the bar a few hundred times in all; a
    // small job still moves it step by step.
    void SetProgressRange(int steps);
    void QueueSteps(int steps);
    // Sends the steps not yet shown.
    void FlushSteps();
    // The steps that make one message; also the rows that go to the list in one message.
    int StepsPerMessage() const { return stepsPerMessage_; }

    const CString* m_path;
    CWhiteListControl* m_list;
    int m_mode;
    // Set by the import's worker before it ends the dialog; read once DoModal has returned.
    std::atomic<ListOutcome> m_listOutcome{kListKept};
    DWORD m_threadId = 0;
    ScopedHandle m_thread;
    CProgressCtrl m_progress;

private:
    LRESULT OnProgress(WPARAM code, LPARAM value);

    // Worker thread only.
    int stepsPerMessage_ = 1;
    int pendingSteps_ = 0;
};

DWORD WINAPI ImportWhitelistWorker(LPVOID dialog);
DWORD WINAPI ExportWhitelistWorker(LPVOID dialog);
