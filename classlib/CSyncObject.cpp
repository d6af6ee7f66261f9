#include "classlib/CSyncObject.h"

CSyncObject::~CSyncObject()
{
    if (m_hObject != nullptr) {
        CloseHandle(m_hObject);
    }
}

void CSyncObject::Attach(HANDLE handle)
{
    if (handle == nullptr) {
        throw CResourceException(GetLastError());
    }
    m_hObject = handle;
}

BOOL CSyncObject::Lock(DWORD timeout)
{
    const DWORD result = WaitForSingleObject(m_hObject, timeout);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

CMutex::CMutex(BOOL initiallyOwn, LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    Attach(CreateMutexW(security, initiallyOwn, name));
}

BOOL CMutex::Unlock()
{
    return ReleaseMutex(m_hObject);
}

CSemaphore::CSemaphore(LONG initialCount, LONG maximumCount, LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    Attach(CreateSemaphoreW(security, initialCount, maximumCount, name));
}

BOOL CSemaphore::Unlock()
{
    return Unlock(1, nullptr);
}

BOOL CSemaphore::Unlock(LONG count, LONG* previousCount)
{
    return ReleaseSemaphore(m_hObject, count, previousCount);
}

CEvent::CEvent(BOOL initiallySignalled, BOOL manualReset, LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    Attach(CreateEventW(security, manualReset, initiallySignalled, name));
}

BOOL CEvent::SetEvent()
{
    return ::SetEvent(m_hObject);
}

BOOL CEvent::ResetEvent()
{
    return ::ResetEvent(m_hObject);
}

BOOL CEvent::Unlock()
{
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_pObject(object)
{
    if (initialLock) {
        Lock();
    }
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

BOOL CSingleLock::Lock(DWORD timeout)
{
    if (m_bAcquired) {
        return TRUE;
    }
    m_bAcquired = m_pObject->Lock(timeout);
    return m_bAcquired;
}

BOOL CSingleLock::Unlock()
{
    if (!m_bAcquired) {
        return TRUE;
    }
    m_bAcquired = FALSE;
    return m_pObject->Unlock();
}
