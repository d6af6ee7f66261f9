#include "tool/tests/sheet_driver.h"

#include "core/tests/failing_allocation.h"
#include "tool/CWhiteListControl.h"
#include "tool/resource.h"
#include "tool/tests/ui_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cwchar>

namespace sheettest {

namespace {

// The file dialog's name box: the combo box of the Explorer style, the edit of the old one.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
// How long a page, a box or a dialog may take to appear or to go.
constexpr DWORD kWaitMs = 5000;

using ui::SendWithin;

bool IsClass(HWND window, const wchar_t* name)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    return std::wcscmp(className, name) == 0;
}

struct FolderSearch {
    HWND found;
};

BOOL CALLBACK MatchFolderDialog(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && IsClass(window, L"#32770") &&
        FindWindowExW(window, nullptr, L"SysTreeView32", nullptr) != nullptr) {
        reinterpret_cast<FolderSearch*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

// Blocks of rows the list still takes before it runs out of memory; the list's own procedure.
std::atomic<int> g_blocksBeforeFailure{0};
WNDPROC g_listProcedure = nullptr;

// Runs on the list's thread.
LRESULT CALLBACK ListOutOfMemoryProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP_APPEND_ENTRIES && --g_blocksBeforeFailure < 0) {
        oomtest::FailingAllocations failing(0);
        return CallWindowProcW(g_listProcedure, window, message, wParam, lParam);
    }
    return CallWindowProcW(g_listProcedure, window, message, wParam, lParam);
}

}  // namespace

std::wstring ImportWhileTheListRunsOutOfMemory(DWORD threadId, HWND page, const std::wstring& csv, int failingBlock)
{
    HWND list = GetDlgItem(page, IDC_WHITELIST);
    g_blocksBeforeFailure = failingBlock - 1;
    g_listProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_WNDPROC));
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListOutOfMemoryProcedure));
    ui::Click(page, IDC_CSV_IMPORT);
    AnswerMessageBox(IDYES);
    ChooseFile(threadId, csv);
    ui::SaveScreenshot(WaitForAnyMessageBox(10000), L"csv_rows_lost");
    const std::wstring message = AnswerMessageBox(IDOK);
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProcedure));
    // The page hears how the import ended once its dialog has gone and freed the sheet.
    HWND sheet = GetAncestor(page, GA_ROOT);
    ui::WaitUntil([&] { return IsWindowEnabled(sheet) != FALSE; }, kWaitMs);
    return message;
}

HWND ShowPage(HWND sheet, int index)
{
    SendWithin(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    HWND page = nullptr;
    ui::WaitUntil(
        [&] {
            page = reinterpret_cast<HWND>(SendWithin(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            return page != nullptr && IsWindowVisible(page);
        },
        kWaitMs);
    return page;
}

void SetCheck(HWND page, int id, bool checked)
{
    SendWithin(GetDlgItem(page, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // Sent, not posted: what the page does on the click is done when this returns.
    SendWithin(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}

bool IsChecked(HWND page, int id)
{
    return SendWithin(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != FALSE;
}

void TypeText(HWND page, int id, const wchar_t* text)
{
    SendWithin(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

HWND WaitForAnyMessageBox(DWORD timeoutMs)
{
    const DWORD process = GetCurrentProcessId();
    HWND found = nullptr;
    ui::WaitUntil(
        [&] {
            HWND window = nullptr;
            while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                HWND text = GetDlgItem(window, 0xFFFF);
                if (owner == process && IsWindowVisible(window) && text != nullptr && IsClass(text, L"Static")) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::wstring AnswerMessageBox(int button, DWORD timeoutMs)
{
    HWND box = WaitForAnyMessageBox(timeoutMs);
    if (box == nullptr) {
        return std::wstring();
    }
    const std::wstring text = ui::ItemText(box, 0xFFFF);
    ui::Click(box, button);
    ui::WaitUntil([&] { return !IsWindow(box); }, kWaitMs);
    return text;
}

bool ChooseFile(DWORD threadId, const std::wstring& path)
{
    HWND dialog = nullptr;
    ui::WaitUntil(
        [&] {
            dialog = ui::WaitForDialog(threadId, kFileNameCombo, 0, true);
            if (dialog == nullptr) {
                dialog = ui::WaitForDialog(threadId, kFileNameEdit, 0, true);
            }
            return dialog != nullptr;
        },
        10000);
    if (dialog == nullptr) {
        return false;
    }
    HWND name = GetDlgItem(dialog, kFileNameCombo);
    if (name == nullptr) {
        name = GetDlgItem(dialog, kFileNameEdit);
    }
    SendWithin(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ui::Click(dialog, IDOK);
    return ui::WaitUntil([&] { return !IsWindow(dialog); }, kWaitMs);
}

HWND WaitForFolderDialog(DWORD threadId, DWORD timeoutMs)
{
    FolderSearch search = {nullptr};
    ui::WaitUntil(
        [&] {
            EnumThreadWindows(threadId, &MatchFolderDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

bool ChooseFolder(DWORD threadId, const std::wstring& folder)
{
    HWND dialog = WaitForFolderDialog(threadId);
    if (dialog == nullptr) {
        return false;
    }
    if (folder.empty()) {
        ui::Click(dialog, IDCANCEL);
    } else {
        // The tree fills while the dialog opens: select until the folder is the one shown.
        HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        const std::wstring leaf = folder.substr(folder.find_last_of(L'\\') + 1);
        const bool selected = ui::WaitUntil(
            [&] {
                SendWithin(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
                wchar_t text[MAX_PATH] = {};
                TVITEMW item = {};
                item.mask = TVIF_TEXT;
                item.hItem = reinterpret_cast<HTREEITEM>(SendWithin(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
                item.pszText = text;
                item.cchTextMax = MAX_PATH;
                return item.hItem != nullptr && SendWithin(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
                       leaf == text;
            },
            10000);
        ui::Click(dialog, selected ? IDOK : IDCANCEL);
        if (!selected) {
            return false;
        }
    }
    return ui::WaitUntil([&] { return !IsWindow(dialog); }, kWaitMs);
}

}  // namespace sheettest
