#include "core/system/FolderTree.h"

#include "core/system/ProductAccessList.h"

CString TrimTrailingBackslashes(const CString& path)
{
    int length = path.GetLength();
    while (length > 0 && path[length - 1] == L'\\') {
        --length;
    }
    return path.Left(length);
}

BOOL CreateFolderTree(const CString& path, SECURITY_ATTRIBUTES* attributes)
{
    const CString worked = TrimTrailingBackslashes(path) + L"\\";
    BOOL result = TRUE;
    for (int slash = worked.Find(L'\\', 1); slash >= 0; slash = worked.Find(L'\\', slash + 1)) {
        const CString prefix = worked.Left(slash);
        const bool isDrive = prefix.GetLength() == 2 && prefix[1] == L':';
        if (!isDrive && GetFileAttributesW(prefix) == INVALID_FILE_ATTRIBUTES) {
            result = CreateDirectoryW(prefix, prefix == path ? attributes : nullptr);
            // Another program may have made it between the test and the creation.
            if (!result && GetLastError() == ERROR_ALREADY_EXISTS) {
                result = TRUE;
            }
        }
        if (slash + 1 == worked.GetLength()) {
            break;
        }
    }
    return result;
}

BOOL BuildFolderSecurity(const CString& path)
{
    ProductAccessList access;
    return CreateFolderTree(path, access.Attributes());
}
