#pragma once
//
//  Explorer's own CD burning policy, set at every logoff to follow the setting. The value the
//  service found before it first touched the policy is kept once in CDBurning.dat in the
//  service's folder. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

class CdBurningPolicy {
public:
    // The Explorer policy key under HKEY_LOCAL_MACHINE and its value.
    static const wchar_t kPolicyKey[];
    static const wchar_t kPolicyValue[];
    static const wchar_t kStateFileName[];

    // block is 1 when USB storage control and CD/DVD write blocking are both on. Windows 2000
    // and earlier have no such policy: nothing is touched there. Failures are silent.
    static void Apply(BOOL block, const CString& serviceFolder);

    // The state file's path in folder, with exactly one backslash between them.
    static CString StateFilePath(const CString& folder);
};
