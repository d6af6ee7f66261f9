#include "core/system/BrowseForFolder.h"

#include "classlib/ComPtr.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// The dialog's title is the program's string 2006.
const UINT kTitleStringId = 2006;

}  // namespace

bool BrowseForFolder(CString& path)
{
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Receive()))) {
        return false;
    }
    wchar_t title[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), kTitleStringId, title, 256);

    BROWSEINFOW info = {};
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    bool chosen = false;
    LPITEMIDLIST items = SHBrowseForFolderW(&info);
    if (items != nullptr) {
        wchar_t folder[MAX_PATH] = {};
        if (SHGetPathFromIDListW(items, folder)) {
            path = folder;
            chosen = true;
        }
        allocator->Free(items);
    }
    return chosen;
}
