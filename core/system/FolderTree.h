#pragma once
//
//  Creating a folder and every missing folder above it. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

// The path without its trailing run of backslashes.
CString TrimTrailingBackslashes(const CString& path);

// Creates each missing folder of path, shortest first. Only the folder that is the whole path
// as given gets the security attributes; the folders above it get default security. Returns
// 1 when every folder exists at the end, else the result of the last creation that ran.
BOOL CreateFolderTree(const CString& path, SECURITY_ATTRIBUTES* attributes);

// CreateFolderTree with the product access list on the folder itself.
BOOL BuildFolderSecurity(const CString& path);
