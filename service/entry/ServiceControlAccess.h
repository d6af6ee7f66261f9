#pragma once
//
//  The user-defined control 128 stops the service, and the default service access list lets
//  every interactive user send user-defined controls. At start the service narrows its own
//  list: only SYSTEM and Administrators keep SERVICE_USER_DEFINED_CONTROL; every other entry
//  keeps the rest of its rights (query, interrogate). Windows builds only.
//
#include <windows.h>

namespace Quelmar {

// On an open service handle (READ_CONTROL | WRITE_DAC). TRUE when the list now says so.
BOOL RestrictUserDefinedControl(SC_HANDLE service);

// The same for the named service through the service control manager.
BOOL RestrictUserDefinedControl(LPCWSTR serviceName);

// Narrows the named service's list at its start. When that fails, RetryControlAccess tries
// again: every interactive user could stop the enforcement until it holds.
void NarrowControlAccess(LPCWSTR serviceName);
// Tries again while the narrowing at start has not held; nothing once it held, or when no
// start asked for it. One caller tries at a time, the others go on. No failure of a try, not
// even a thrown one, leaves this function or ends the retries.
void RetryControlAccess();

}  // namespace Quelmar
