#pragma once
//
//  The tool tests never restart the machine they run on: ExitWindowsEx is taken over for the
//  whole test executable and only counts its calls.
//
#include <windows.h>

namespace tooltest {
// Calls of ExitWindowsEx so far, and the flags of the last one.
unsigned ExitWindowsCalls();
UINT LastExitWindowsFlags();
}  // namespace tooltest
