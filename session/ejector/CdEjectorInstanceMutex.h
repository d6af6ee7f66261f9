#pragma once
//
//  The ejector's one-instance-per-session lock: a named mutex without a global prefix, made
//  owned when the program starts.
//
//  Any program of the session's user can make a mutex of that name first and hold it, which
//  would keep the ejector away while CD/DVD writing is blocked. The service starts the ejector
//  at high integrity and the ejector labels its mutex high, against any access from below, so
//  only a mutex that the ejector can open and whose integrity label is high or above counts as
//  another ejector; an unlabelled mutex, one labelled below high or with a SID that is no
//  integrity level, one the ejector may not open and another kind of object under the name are
//  a stranger's and are ignored. Windows 5.x has no integrity levels: there, as the program's
//  own token tells (never the version, which the user's compatibility layer can lower), any
//  mutex of the name that is held counts as another ejector. Windows builds only.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

class CdEjectorInstanceMutex {
public:
    static constexpr const wchar_t* kName = L"{FB6B8EC0-B695-42BA-BDFD-360E7793A9DD}";
    static constexpr DWORD kLockWait = 10;

    CdEjectorInstanceMutex();
    CdEjectorInstanceMutex(const CdEjectorInstanceMutex&) = delete;
    CdEjectorInstanceMutex& operator=(const CdEjectorInstanceMutex&) = delete;
    ~CdEjectorInstanceMutex();

    // TRUE when this program may run as the session's ejector: the lock was taken within
    // 10 ms, or what stands in the way under the name is not an ejector's mutex at high
    // integrity (the program then runs without the lock).
    BOOL TakeInstance();
    // Lets go of the lock when it is held.
    void Release();
    BOOL IsLocked() const { return locked_; }

private:
    ScopedHandle mutex_;
    // Owned since creation (the thread that built the object holds one count).
    bool ownedAtCreation_ = false;
    bool existed_ = false;
    BOOL locked_ = FALSE;
};

// The mandatory integrity level of a kernel object's label (0x3000 is high); 0x2000 (medium)
// for an object without a label, as the system treats it; 0 when the label cannot be read or
// its SID is not an integrity level (S-1-16-level).
DWORD KernelObjectIntegrityLevel(HANDLE object);
