#pragma once
//
//  Registry helpers under HKEY_LOCAL_MACHINE. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

#include <vector>

// Creates the key (and the keys above it) with the product access list; an existing key is
// opened and left as it is. Returns the Win32 error.
LONG RegCreateKeyWithDacl(const CString& subKey);

// Reads a REG_BINARY value into bytes. A value of another type, or an empty one, leaves bytes
// unchanged and returns 0. Returns the error of the open or of the last query.
LONG RegReadValue(const CString& subKey, const CString& valueName, std::vector<BYTE>& bytes);
