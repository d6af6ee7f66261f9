#include "testbed/demo/SettingToolRun.h"

#include "tool/tests/child_process.h"
#include "tool/tests/ui_driver.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace demo {
namespace {

// The tab control a property sheet creates for its pages.
const int kSheetTabId = 0x3020;
const DWORD kOpenMs = 30000;
const DWORD kCloseMs = 15000;

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

}  // namespace

SheetSeen OpenMainSheet(const std::wstring& program, const std::wstring& screenshot)
{
    SheetSeen seen;
    DeleteFileW(screenshot.c_str());
    ChildProcess tool(program, L"");
    if (!tool.Started()) {
        seen.detail = "cannot start " + Narrow(program) + " (error " + std::to_string(tool.StartError()) + ")";
        return seen;
    }
    HWND sheet = ui::WaitForDialog(tool.ThreadId(), kSheetTabId, kOpenMs, true);
    if (sheet == nullptr) {
        // A message box instead says why (its text is the tool's own, shown as far as ASCII goes).
        HWND box = ui::WaitForMessageBox(tool.ThreadId(), 0);
        seen.detail = box ? "the tool showed a message instead: " + Narrow(ui::ItemText(box, 0xFFFF))
                          : tool.WaitForExit(0) == STILL_ACTIVE ? "the main sheet did not appear"
                                           : "the tool ended without its main sheet";
        return seen;
    }
    seen.tabs = static_cast<int>(SendMessageW(GetDlgItem(sheet, kSheetTabId), TCM_GETITEMCOUNT, 0, 0));
    const bool saved = ui::SaveScreenshotAs(sheet, screenshot) &&
                       GetFileAttributesW(screenshot.c_str()) != INVALID_FILE_ATTRIBUTES;
    ui::Click(sheet, IDCANCEL);
    const DWORD exitCode = tool.WaitForExit(kCloseMs);
    if (!saved)
        seen.detail = "the screenshot could not be saved";
    else if (seen.tabs != 4)
        seen.detail = "the main sheet has " + std::to_string(seen.tabs) + " tabs, not 4";
    else if (exitCode != 0)
        seen.detail = exitCode == STILL_ACTIVE ? "the tool did not end after Cancel"
                                               : "the tool ended with " + std::to_string(exitCode);
    else
        seen.ok = true;
    return seen;
}

}  // namespace demo
