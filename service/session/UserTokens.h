#pragma once
//
//  The users that run a given program, read from their processes' tokens, and the raising of
//  a token to high integrity for the programs the service starts with it.
//
#include "classlib/CString.h"

#include <windows.h>

#include <map>
#include <vector>

namespace Quelmar {

// User key ("DOMAIN\NAME" in upper case, "" when the account cannot be read) -> the first
// process found for that user.
typedef std::map<CString, DWORD> UserProcessMap;

// Integrity level of the programs the service starts in a session: high, above what the
// session's user runs and so out of that user's reach.
const DWORD kHighIntegrityRid = 0x3000;

// For each process whose image file name (or full path, with byFullPath) equals the match
// without regard to case (full paths in their long form): its user key with the process id,
// the first process of a user staying. With a minimum integrity, a process below it, or one
// whose token cannot be read, is left out; on a system without integrity levels (Windows 5.x)
// the minimum does not apply. TRUE when at least one process was taken.
BOOL GetProcessUsers(const std::vector<DWORD>& processIds, const CString& match, BOOL byFullPath, UserProcessMap& users,
                     DWORD minimumIntegrity = 0);

// The token's account name and domain; TRUE once the token's user could be read (the names
// stay empty when the account cannot be looked up).
BOOL GetTokenUser(HANDLE token, CString& name, CString& domain);

// Raises the token to integrity level "S-1-16-12288" when it is below it; TRUE on success or
// when nothing had to be done (the level is high or above, or the system has no integrity
// levels); FALSE when the raise failed or the token's level cannot be read on a system that
// has them.
BOOL SetHighIntegrityLevel(HANDLE token);

}  // namespace Quelmar
