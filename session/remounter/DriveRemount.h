#pragma once
//
//  What the drive remounter does in the user's session: it tells the shell to read the root of
//  each named drive again and, before Windows 6.2, broadcasts a removal and an arrival of those
//  drives, so that Explorer and the running programs see the states the driver now enforces.
//
#include "classlib/CString.h"

#include <windows.h>

namespace Quelmar {

// Bit n for each letter 'A' + n in the text, without regard to case; other characters count
// for nothing.
DWORD DriveUnitMask(const CString& drives);

// Asks the service, on a connection of its own, for the drive's state: TRUE with a state of
// 0, 2 or 3; FALSE when the service does not answer within 5000 ms, speaks another interface
// version, does not know the drive or holds it blocked.
BOOL QueryDriveState(WCHAR letter, LONG& state);

// The letters of the drives that exist and that the service holds read-only now.
CString ReadOnlyDrives();

// The removal and arrival of the drives in the mask (every drive when it is 0), three
// broadcasts to all components.
void BroadcastVolumeChange(DWORD unitMask);

// The whole work for the program's argument string: nothing when it is empty; "ALLRO" (any
// case) stands for the drives the service holds read-only.
void RemountDrives(const CString& arguments);

}  // namespace Quelmar
