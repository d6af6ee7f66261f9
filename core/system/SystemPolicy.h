#pragma once
//
//  The two system values that start-up decisions rest on. Windows builds only.
//
#include <windows.h>

// Explorer's CD burning policy (HKEY_LOCAL_MACHINE ...\policies\Explorer "NoCDBurning").
// value is 0 unless read. Returns the Win32 error of the open or of the query, and
// ERROR_INVALID_DATA for a value that is not a REG_DWORD.
LONG ReadNoCDBurningPolicy(DWORD& value);

// Whether the system blocks legacy file-system filters: the "IoBlockLegacyFsFilters" value when
// it exists (flag 1 when non-zero, result 0), else whether the Windows version is later than
// 10.0.16299, which introduced that blocking (the result of IsOsVersionAboveThreshold).
HRESULT CheckLegacyFilterBlocking(int& flag);

// flag becomes 1 when WMI reports a Windows version later than 10.0.16299. Returns the HRESULT
// of the WMI calls. The calling thread must have initialised COM.
HRESULT IsOsVersionAboveThreshold(int& flag);
