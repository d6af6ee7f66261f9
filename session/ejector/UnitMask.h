#pragma once
//
//  Drive letters in unit masks and in mount paths. Windows builds only.
//
#include <windows.h>

// The bits of drive letters 'A' to 'Z'; higher bits name no drive.
const DWORD kDriveLetterBits = (DWORD(1) << 26) - 1;

inline DWORD DriveLetterBit(WCHAR letter)
{
    return DWORD(1) << (letter - L'A');
}

// The upper-case letter of a drive's root path "X:\", else 0. A folder mount point such as
// "C:\mnt\dvd\" lies on drive C: but is not drive C:, so it gives no letter.
WCHAR RootPathDriveLetter(const WCHAR* path, size_t length);
