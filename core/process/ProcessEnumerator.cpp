#include "core/process/ProcessEnumerator.h"

#include <cstdlib>

namespace {

bool SameTextNoCase(const CString& a, const CString& b)
{
    return CompareStringOrdinal(a, a.GetLength(), b, b.GetLength(), TRUE) == CSTR_EQUAL;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->windows->push_back(window);
    return TRUE;
}

}  // namespace

BOOL ProcessEnumerator::FindByImagePath(const CString& path, std::vector<DWORD>& ids)
{
    ids.clear();
    std::vector<DWORD> all;
    if (!EnumProcessIds(all))
        return FALSE;
    for (DWORD id : all) {
        CString image;
        GetImagePath(image, id);
        if (!image.IsEmpty() && SameTextNoCase(image, path))
            ids.push_back(id);
    }
    return ids.empty() ? FALSE : TRUE;
}

BOOL ProcessEnumerator::FindByFileName(const CString& fileName, std::vector<DWORD>& ids)
{
    ids.clear();
    std::vector<DWORD> all;
    if (!EnumProcessIds(all))
        return FALSE;
    for (DWORD id : all) {
        CString image;
        GetImagePath(image, id);
        if (image.IsEmpty())
            continue;
        WCHAR name[_MAX_FNAME] = {};
        WCHAR extension[_MAX_EXT] = {};
        if (_wsplitpath_s(image, nullptr, 0, nullptr, 0, name, _MAX_FNAME, extension, _MAX_EXT) != 0)
            continue;
        if (SameTextNoCase(CString(name) + extension, fileName))
            ids.push_back(id);
    }
    return ids.empty() ? FALSE : TRUE;
}

BOOL ProcessEnumerator::GetProcessWindows(DWORD processId, std::vector<HWND>& windows)
{
    windows.clear();
    // EnumWindows takes its own snapshot of the top-level list in Z order: a GetWindow walk
    // could loop or reach destroyed windows while windows come and go.
    WindowSearch search{processId, &windows};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return windows.empty() ? FALSE : TRUE;
}
