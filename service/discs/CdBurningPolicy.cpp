#include "service/discs/CdBurningPolicy.h"

#include "classlib/CFile.h"
#include "classlib/ScopedRegKey.h"
#include "core/system/OSVersion.h"
#include "core/system/SystemPolicy.h"
#include "service/discs/CdBurningStateFile.h"

const wchar_t CdBurningPolicy::kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";
const wchar_t CdBurningPolicy::kPolicyValue[] = L"NoCDBurning";
const wchar_t CdBurningPolicy::kStateFileName[] = L"CDBurning.dat";

namespace {

// Only a path that is certainly free is written: a state file that exists, or one whose
// presence cannot be told, is never replaced.
bool StateFileMissing(const CString& path)
{
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

CString CdBurningPolicy::StateFilePath(const CString& folder)
{
    CString path(folder);
    if (path.IsEmpty() || path[path.GetLength() - 1] != L'\\') {
        path += L"\\";
    }
    path += kStateFileName;
    return path;
}

void CdBurningPolicy::Apply(BOOL block, const CString& serviceFolder)
{
    COSVersion version;
    if (!version.IsLaterThan5_0()) {
        return;
    }

    DWORD found = 0;
    const bool foundRead = ReadNoCDBurningPolicy(found) == ERROR_SUCCESS;

    const CString path = StateFilePath(serviceFolder);
    if (StateFileMissing(path)) {
        try {
            CdBurningStateFile state(path);
            if (foundRead) {
                state.SaveValue(found);
            } else {
                state.SaveEmpty();
            }
        } catch (const CFileException&) {
            // The policy value below is written even when its old value could not be kept.
        } catch (...) {
        }
    }

    ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | kExplorerPolicyView, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS) {
        const DWORD value = block == 1 ? 1 : 0;
        RegSetValueExW(key, kPolicyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
}
