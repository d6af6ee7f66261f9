#include "core/system/ProgramPaths.h"

#include "classlib/ComPtr.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

CString GetModuleFilePath()
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return CString();
        }
        if (length < buffer.size()) {
            return CString(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

CString GetCommonAppDataFolder()
{
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Receive()))) {
        return CString();
    }
    CString folder;
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_APPDATA, &items))) {
        wchar_t path[512] = {};
        if (SHGetPathFromIDListW(items, path)) {
            folder = path;
        }
        allocator->Free(items);
    }
    return folder;
}
