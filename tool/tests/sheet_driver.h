#pragma once
//
//  What the main sheet's tests use to act on it from the driver thread: its pages, their check
//  boxes and texts, the message boxes it raises (also those of worker threads), and the file
//  and folder dialogs it opens.
//
#include <windows.h>

#include <string>

namespace sheettest {

// The sheet's Apply button.
constexpr int kApplyNow = 0x3021;

// Shows the page with that index and returns its window (null when it did not appear).
HWND ShowPage(HWND sheet, int index);
// Sets the check box and tells the page as a click would; returns when the page is done.
void SetCheck(HWND page, int id, bool checked);
bool IsChecked(HWND page, int id);
bool IsEnabled(HWND page, int id);
// Types the text into the edit (the page hears the change).
void TypeText(HWND page, int id, const wchar_t* text);

// A visible message box of any thread of the process; null when none came in time.
HWND WaitForAnyMessageBox(DWORD timeoutMs);
// Waits for a message box, presses the button and tells the box's text (empty: none came).
std::wstring AnswerMessageBox(int button, DWORD timeoutMs = 5000);

// Waits for the open or save dialog of the thread, gives it the path and presses Open/Save.
bool ChooseFile(DWORD threadId, const std::wstring& path);
// The folder selection of the thread once it shows; null when it did not come in time.
HWND WaitForFolderDialog(DWORD threadId, DWORD timeoutMs = 10000);
// Waits for the folder selection of the thread; chooses the folder, or cancels when empty.
bool ChooseFolder(DWORD threadId, const std::wstring& folder);

// Imports the CSV file on the page (answering its question) while the page's list runs out of
// memory, on its own thread, at every block of rows from the failingBlock-th (counted from 1)
// on. The message the import ends with, photographed as csv_rows_lost; returns once the
// import's dialog has ended.
std::wstring ImportWhileTheListRunsOutOfMemory(DWORD threadId, HWND page, const std::wstring& csv, int failingBlock);

}  // namespace sheettest
