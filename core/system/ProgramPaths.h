#pragma once
//
//  Where the program lies and where the product keeps its data. Windows builds only.
//
#include "classlib/CString.h"

// Full path of the program's own file.
CString GetModuleFilePath();

// The common application-data folder (CSIDL_COMMON_APPDATA), or an empty text.
CString GetCommonAppDataFolder();
