#pragma once
//
//  The shell's folder selection dialog, for choosing where to export. Windows builds only.
//
#include "classlib/CString.h"

// True with path set when the user chose a file-system folder.
bool BrowseForFolder(CString& path);
