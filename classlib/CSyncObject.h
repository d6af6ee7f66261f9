#pragma once
//
//  The class library's synchronisation objects (mutex, semaphore, event) and the lock that
//  takes one of them for a scope. Windows builds only.
//
//  A kernel object that cannot be created is thrown as CResourceException by value, as the
//  class library's constructors do; a lock on a mutex whose owner died (WAIT_ABANDONED) counts
//  as taken, since the object is then owned by the caller.
//
#include "classlib/CException.h"
#include "classlib/CRuntimeClass.h"

#include <windows.h>


class CSyncObject : public CObject {
public:
    ~CSyncObject() override;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

    // TRUE when the object was taken within the time-out.
    virtual BOOL Lock(DWORD timeout = INFINITE);
    virtual BOOL Unlock() = 0;
    operator HANDLE() const { return m_hObject; }

    HANDLE m_hObject = nullptr;

protected:
    CSyncObject() = default;
    // Keeps the handle, or throws with the last error when it is null.
    void Attach(HANDLE handle);
};

class CMutex : public CSyncObject {
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, LPCWSTR name = nullptr, LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL Unlock() override;
};

class CSemaphore : public CSyncObject {
public:
    explicit CSemaphore(LONG initialCount = 1, LONG maximumCount = 1, LPCWSTR name = nullptr,
                        LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL Unlock() override;
    BOOL Unlock(LONG count, LONG* previousCount);
};

class CEvent : public CSyncObject {
public:
    explicit CEvent(BOOL initiallySignalled = FALSE, BOOL manualReset = FALSE, LPCWSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL SetEvent();
    BOOL ResetEvent();
    BOOL Unlock() override;
};

class CSingleLock {
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD timeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired = FALSE;
};
