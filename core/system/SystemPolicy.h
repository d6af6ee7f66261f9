#pragma once
//
//  The two system values that start-up decisions rest on. Windows builds only.
//
#include <windows.h>

// The registry view of Explorer's policies: the 64-bit Explorer of 64-bit Windows reads them in
// the 64-bit view. Windows shares the Policies key between its views, so an x86 build's write
// reaches Explorer either way; the flag says which view is meant.
constexpr REGSAM kExplorerPolicyView = KEY_WOW64_64KEY;

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
