#pragma once
//
//  Turning the NT form of a process image path into the path a user would type.
//
#include "classlib/CString.h"

// When the path starts with the device name followed by a separator or nothing, replaces the
// device name by the replacement and returns true. "\Device\HarddiskVolume1" therefore never
// claims "\Device\HarddiskVolume12\...".
bool ReplaceDevicePrefix(CString& path, const CString& deviceName, const WCHAR* replacement);

// "\??\C:\x.exe" -> "C:\x.exe"; any other path, "\??\UNC\..." among them, stays as it is.
void DropWin32NamespacePrefix(CString& path);
