#pragma once
//
//  Starts the session programs (the drive remounter, the CD/DVD ejector) in a user's session
//  with that user's token and environment, from the service that runs in session 0.
//
//  The program path is given as the application name and, quoted, at the head of the command
//  line, so that a folder with blanks never makes Windows try a shorter path. A command line
//  that does not fit the 260-character buffer starts nothing.
//
#include "classlib/CString.h"

#include <windows.h>

#include <vector>

namespace Quelmar {

// Characters of the command line, terminator included.
const size_t kCommandLineChars = 260;

// The folder of the service's program file, without a trailing backslash except for a drive
// root ("C:\"). Empty when the path cannot be read.
CString GetServiceModuleFolder();

// The folder, a backslash when it does not end in one, and the file name.
CString ProgramInFolder(const CString& folder, const WCHAR* fileName);

// "\"path\"" and, when there are arguments, one blank and the arguments, terminated, into a
// writable buffer; FALSE (and an empty buffer) when it does not fit kCommandLineChars.
BOOL BuildCommandLine(const CString& path, const CString& arguments, std::vector<WCHAR>& commandLine);

// Starts the program in the session attached to the physical console, with its user's token;
// nothing happens when nobody is logged on there.
void LaunchInActiveConsoleSession(const CString& path, const CString& arguments);
// The same for a given session; with highIntegrity, the user's token raised to high
// integrity ("S-1-16-12288"), and nothing started when it cannot be raised or its level cannot
// be read (Windows 5.x, which has no integrity levels, starts it with the token as it is).
void LaunchInSession(const CString& path, const CString& arguments, DWORD sessionId, BOOL highIntegrity = FALSE);
// The CD/DVD ejector from the service's folder, in the session, at high integrity.
void StartCdEjector(DWORD sessionId);

// Starts the program with the primary token and the token's environment; the new process id,
// 0 on failure.
DWORD StartProcessAsUser(const CString& path, HANDLE token);

}  // namespace Quelmar
