#include "tool/tests/ui_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace ui {

namespace {

struct Search {
    int controlId;
    bool visibleOnly;
    bool messageBox;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    if (search->visibleOnly && !IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, L"#32770") != 0) {
        return TRUE;
    }
    if (search->messageBox) {
        if (GetDlgItem(window, 0xFFFF) != nullptr) {
            // Message boxes carry their text in static 0xFFFF and have no edit of ours.
            wchar_t text[8] = {};
            GetClassNameW(GetDlgItem(window, 0xFFFF), text, 8);
            if (std::wcscmp(text, L"Static") == 0) {
                search->found = window;
                return FALSE;
            }
        }
        return TRUE;
    }
    if (GetDlgItem(window, search->controlId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOfThread(DWORD threadId, Search search)
{
    EnumThreadWindows(threadId, &MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(20);
    }
}

HWND WaitForDialog(DWORD threadId, int controlId, DWORD timeoutMs, bool visibleOnly)
{
    HWND found = nullptr;
    WaitUntil([&] {
        found = FindWindowOfThread(threadId, {controlId, visibleOnly, false, nullptr});
        return found != nullptr;
    }, timeoutMs);
    return found;
}

HWND WaitForMessageBox(DWORD threadId, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] {
        found = FindWindowOfThread(threadId, {0, true, true, nullptr});
        return found != nullptr;
    }, timeoutMs);
    return found;
}

bool IsOpen(HWND window)
{
    return window != nullptr && IsWindow(window);
}

LRESULT SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window)
{
    wchar_t text[1024] = {};
    SendWithin(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ItemText(HWND dialog, int id)
{
    return Text(GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const wchar_t* text)
{
    SendWithin(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void Click(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<std::wstring> ListRows(HWND list)
{
    std::vector<std::wstring> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        wchar_t text[512] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 512;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        rows.emplace_back(text);
    }
    return rows;
}

int SelectedRow(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND list, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

HWND CurrentPage(HWND sheet)
{
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

HWND PressNext(HWND sheet)
{
    HWND before = CurrentPage(sheet);
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    HWND after = before;
    WaitUntil([&] {
        after = CurrentPage(sheet);
        return after != nullptr && after != before;
    }, 5000);
    return after;
}

namespace {

void CollectTree(HWND tree, HTREEITEM item, std::vector<std::wstring>& texts)
{
    for (; item != nullptr;
         item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[512] = {};
        TVITEMW info = {};
        info.mask = TVIF_TEXT;
        info.hItem = item;
        info.pszText = text;
        info.cchTextMax = 512;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info));
        texts.emplace_back(text);
        CollectTree(tree,
                    reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))),
                    texts);
    }
}

}  // namespace

std::vector<std::wstring> TreeTexts(HWND tree)
{
    std::vector<std::wstring> texts;
    CollectTree(tree, reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), texts);
    return texts;
}

std::wstring OutputFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QEVRIN_TEST_OUTPUT", folder, MAX_PATH) == 0) {
        return L".";
    }
    CreateDirectoryW(folder, nullptr);
    return folder;
}

bool SaveScreenshot(HWND window, const std::wstring& name)
{
    return SaveScreenshotAs(window, OutputFolder() + L"\\" + name + L".bmp");
}

bool SaveScreenshotAs(HWND window, const std::wstring& path)
{
    // Let the window finish painting before it is read off the screen.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    RECT rect = {};
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"wb"), &std::fclose);
    if (!file) {
        return false;
    }
    return std::fwrite(&header, sizeof(header), 1, file.get()) == 1 &&
           std::fwrite(&info, sizeof(info), 1, file.get()) == 1 &&
           std::fwrite(pixels.data(), 1, pixels.size(), file.get()) == pixels.size();
}

}  // namespace ui
