#include "core/process/ProcessEnumerator.h"

#include "classlib/ScopedHandle.h"
#include "core/process/ProcessLibraries.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

bool HasExeExtension(const WCHAR* path)
{
    int length = lstrlenW(path);
    return length >= 4 && CompareStringOrdinal(path + length - 4, 4, L".EXE", 4, TRUE) == CSTR_EQUAL;
}

}  // namespace

ToolhelpProcessEnumerator::ToolhelpProcessEnumerator()
{
    GetToolhelp32Library().Load();
}

BOOL ToolhelpProcessEnumerator::EnumProcessIds(std::vector<DWORD>& ids)
{
    ids.clear();
    Toolhelp32Library& toolhelp = GetToolhelp32Library();
    if (!toolhelp.CreateToolhelp32Snapshot)
        return FALSE;
    ScopedHandle snapshot(toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return FALSE;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = toolhelp.Process32FirstW(snapshot.Get(), &entry); more;
         more = toolhelp.Process32NextW(snapshot.Get(), &entry))
        ids.push_back(entry.th32ProcessID);
    return ids.empty() ? FALSE : TRUE;
}

void ToolhelpProcessEnumerator::GetImagePath(CString& path, DWORD processId)
{
    path.Empty();
    Toolhelp32Library& toolhelp = GetToolhelp32Library();
    if (processId == 0 || !toolhelp.CreateToolhelp32Snapshot)
        return;
    ScopedHandle snapshot(toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot.IsValid())
        return;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = toolhelp.Module32FirstW(snapshot.Get(), &entry); more;
         more = toolhelp.Module32NextW(snapshot.Get(), &entry)) {
        entry.szExePath[MAX_PATH - 1] = 0;
        if (HasExeExtension(entry.szExePath)) {
            path = CString(entry.szExePath);
            return;
        }
    }
}
