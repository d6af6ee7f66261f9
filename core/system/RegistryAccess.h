#pragma once
//
//  Registry helpers under HKEY_LOCAL_MACHINE. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

#include <vector>

// Both take the registry view the key lives in: KEY_WOW64_32KEY or KEY_WOW64_64KEY, or 0 for
// the caller's own.

// Creates the key (and the keys above it) with the product access list; an existing key is
// opened and left as it is. Returns the Win32 error.
LONG RegCreateKeyWithDacl(const CString& subKey, REGSAM view);

// Reads a REG_BINARY value into bytes. A value of another type, or an empty one, leaves bytes
// unchanged and returns 0. Returns the error of the open or of the last query.
LONG RegReadValue(const CString& subKey, REGSAM view, const CString& valueName, std::vector<BYTE>& bytes);
