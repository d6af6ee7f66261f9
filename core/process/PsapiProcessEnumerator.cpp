#include "classlib/ScopedHandle.h"
#include "core/process/ImagePath.h"
#include "core/process/ProcessEnumerator.h"
#include "core/process/ProcessLibraries.h"

#include <vector>

namespace {

const DWORD kPathChars = 512;
const DWORD kNameListStep = 512;
// Bounds for replies that keep asking for more room: far beyond any real system.
const size_t kLongestNameList = 1 << 20;
const size_t kMostProcesses = 1 << 20;

CString DosDeviceTarget(const WCHAR* name)
{
    WCHAR target[kPathChars] = {};
    if (!QueryDosDeviceW(name, target, kPathChars))
        return CString();
    return CString(target, kPathChars);
}

// "\Device\HarddiskVolume2\dir\x.exe" -> "C:\dir\x.exe"; a device without a drive letter
// (a network redirector, say) is replaced by a single backslash.
void NativePathToDrivePath(CString& path)
{
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        WCHAR drive[] = {WCHAR(L'A' + i), L':', 0};
        if (ReplaceDevicePrefix(path, DosDeviceTarget(drive), drive))
            return;
    }

    std::vector<WCHAR> names(kNameListStep);
    while (!QueryDosDeviceW(nullptr, names.data(), DWORD(names.size()))) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= kLongestNameList)
            return;
        names.resize(names.size() + kNameListStep);
    }
    names.back() = 0;
    for (const WCHAR* name = names.data(); *name; name += lstrlenW(name) + 1)
        if (ReplaceDevicePrefix(path, DosDeviceTarget(name), L"\\"))
            return;
}

}  // namespace

PsapiProcessEnumerator::PsapiProcessEnumerator()
{
    GetPsapiLibrary().Load();
}

BOOL PsapiProcessEnumerator::EnumProcessIds(std::vector<DWORD>& ids)
{
    ids.clear();
    PsapiLibrary& psapi = GetPsapiLibrary();
    if (!psapi.EnumProcesses)
        return FALSE;
    // A full buffer may mean more processes than room: grow until the answer leaves room.
    std::vector<DWORD> room(1);
    DWORD bytes = 0;
    for (;;) {
        DWORD size = DWORD(room.size() * sizeof(DWORD));
        if (!psapi.EnumProcesses(room.data(), size, &bytes))
            return FALSE;
        if (bytes != size || room.size() >= kMostProcesses)
            break;
        room.resize(room.size() * 2);
    }
    ids.assign(room.begin(), room.begin() + bytes / sizeof(DWORD));
    return ids.empty() ? FALSE : TRUE;
}

void PsapiProcessEnumerator::GetImagePath(CString& path, DWORD processId)
{
    path.Empty();
    if (processId == 0)
        return;
    PsapiLibrary& psapi = GetPsapiLibrary();
    auto queryFullName = psapi.Kernel32().QueryFullProcessImageNameW;
    DWORD access = queryFullName ? PROCESS_QUERY_LIMITED_INFORMATION : (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ScopedHandle process(OpenProcess(access, FALSE, processId));
    if (!process.IsValid())
        return;

    WCHAR buffer[kPathChars] = {};
    if (queryFullName) {
        DWORD size = kPathChars;
        if (queryFullName(process.Get(), PROCESS_NAME_NATIVE, buffer, &size)) {
            path = CString(buffer, kPathChars);
            NativePathToDrivePath(path);
        }
    } else if (psapi.EnumProcessModules && psapi.GetModuleFileNameExW) {
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (psapi.EnumProcessModules(process.Get(), &module, sizeof module, &needed) &&
            psapi.GetModuleFileNameExW(process.Get(), module, buffer, kPathChars))
            path = CString(buffer, kPathChars);
    }
    DropWin32NamespacePrefix(path);
}
