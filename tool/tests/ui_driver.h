#pragma once
//
//  What a UI test's driver thread uses to act on the dialogs that the test thread runs: the
//  windows are found by control id, acted on by posted messages, read back by their texts,
//  and photographed into the test output folder. Every wait runs to a deadline.
//
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui {

// Polls until condition holds or the deadline passes; whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A top-level window of the thread that has a child with the id (and, when visibleOnly, is
// visible); null when none appeared before the deadline.
HWND WaitForDialog(DWORD threadId, int controlId, DWORD timeoutMs, bool visibleOnly = false);
// A message box of the thread (a dialog with the static 0xFFFF); null when none appeared.
HWND WaitForMessageBox(DWORD threadId, DWORD timeoutMs);
bool IsOpen(HWND window);

// The message sent to the window, whose thread has five seconds to answer; the answer, 0 when
// none came. A bound, not "abort if hung": a thread that has just shown its first window and
// not yet asked for a message counts as hung when it read none for five seconds before, and
// would be skipped instead of waited for.
LRESULT SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

std::wstring Text(HWND window);
std::wstring ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const wchar_t* text);
// BN_CLICKED of the control, posted to the dialog.
void Click(HWND dialog, int id);

std::vector<std::wstring> ListRows(HWND list);
int SelectedRow(HWND list);
void SelectRow(HWND list, int row);
// Every item's text, in pre-order.
std::vector<std::wstring> TreeTexts(HWND tree);

// The page a property sheet or wizard shows.
HWND CurrentPage(HWND sheet);
// Presses the wizard's Next; the page it leads to (the same page when it stayed).
HWND PressNext(HWND sheet);

// Saves what the screen shows of the window as <test output folder>\<name>.bmp.
bool SaveScreenshot(HWND window, const std::wstring& name);
// Saves it as a bitmap file of the given path.
bool SaveScreenshotAs(HWND window, const std::wstring& path);
// The folder named by QEVRIN_TEST_OUTPUT, else the current folder.
std::wstring OutputFolder();

// Runs a script on its own thread while the test thread runs a modal loop; joined on
// destruction.
class Driver {
public:
    explicit Driver(std::function<void()> script) : thread_(std::move(script)) {}
    ~Driver() { thread_.join(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

private:
    std::thread thread_;
};

}  // namespace ui
