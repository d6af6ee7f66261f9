#include "classlib/CWinThread.h"

#include "classlib/CWinApp.h"
#include "classlib/ScopedHandle.h"

#include <process.h>

namespace {

thread_local CWinThread* currentThread = nullptr;

// What the creator hands to the new thread. It lives on the creator's stack: the thread reads
// it only before it signals that it started.
struct ThreadStartup {
    CWinThread* thread;
    HANDLE started;
    HANDLE gate;
};

}  // namespace

IMPLEMENT_DYNCREATE(CWinThread, CObject)

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC threadProc, LPVOID param) : m_pfnThreadProc(threadProc), m_pThreadParams(param)
{
}

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr) {
        CloseHandle(m_hThread);
    }
}

BOOL CWinThread::CreateThread(DWORD createFlags, UINT stackSize, LPSECURITY_ATTRIBUTES security)
{
    if (m_hThread != nullptr) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    ScopedHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_startGate.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!started.IsValid() || !m_startGate.IsValid()) {
        m_startGate.Reset();
        return FALSE;
    }
    ThreadStartup startup = {this, started.Get(), m_startGate.Get()};
    unsigned threadId = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(
        _beginthreadex(security, stackSize, &CWinThread::ThreadEntry, &startup, 0, &threadId));
    if (thread == nullptr) {
        m_startGate.Reset();
        return FALSE;
    }
    m_hThread = thread;
    m_nThreadID = threadId;

    // The thread makes its queue first; only then may anyone post to it.
    HANDLE waits[] = {started.Get(), thread};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_nThreadID = 0;
        m_startGate.Reset();
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    // A thread created "suspended" waits at its gate instead of being suspended by the system:
    // SuspendThread takes effect at no defined point, so the thread could already be running
    // code of ours while the creator still sets it up, and it could be stopped inside a heap
    // or runtime lock. ResumeThread opens the gate.
    if ((createFlags & CREATE_SUSPENDED) == 0) {
        OpenStartGate();
    }
    return TRUE;
}

bool CWinThread::OpenStartGate()
{
    // Once the gate opens, the thread may end at once, and an auto-deleting one deletes this
    // object: the gate leaves the object first, and nothing of it is touched afterwards.
    const ScopedHandle gate(m_startGate.Release());
    if (!gate.IsValid()) {
        return false;
    }
    SetEvent(gate.Get());
    return true;
}

unsigned __stdcall CWinThread::ThreadEntry(void* startupBlock)
{
    const ThreadStartup* startup = static_cast<const ThreadStartup*>(startupBlock);
    CWinThread* thread = startup->thread;
    HANDLE gate = nullptr;
    // The gate belongs to the object; a copy of it keeps it alive across the wait.
    DuplicateHandle(GetCurrentProcess(), startup->gate, GetCurrentProcess(), &gate, 0, FALSE, DUPLICATE_SAME_ACCESS);
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(startup->started);
    // From here on the startup block may be gone.
    if (gate != nullptr) {
        WaitForSingleObject(gate, INFINITE);
        CloseHandle(gate);
    }
    currentThread = thread;
    return static_cast<unsigned>(thread->RunThread());
}

int CWinThread::RunThread()
{
    int result = -1;
    try {
        if (m_pfnThreadProc != nullptr) {
            result = static_cast<int>(m_pfnThreadProc(m_pThreadParams));
        } else if (!InitInstance()) {
            result = ExitInstance();
        } else {
            result = Run();
        }
    } catch (...) {
        // No exception leaves the thread; the exit code tells that it failed.
        result = -1;
    }
    currentThread = nullptr;
    if (m_bAutoDelete) {
        Delete();
    }
    return result;
}

DWORD CWinThread::ResumeThread()
{
    // The first resume of a thread created suspended opens its gate; it was "suspended" once.
    if (OpenStartGate()) {
        return 1;
    }
    return ::ResumeThread(m_hThread);
}

DWORD CWinThread::SuspendThread()
{
    return ::SuspendThread(m_hThread);
}

BOOL CWinThread::SetThreadPriority(int priority)
{
    return ::SetThreadPriority(m_hThread, priority);
}

int CWinThread::GetThreadPriority() const
{
    return ::GetThreadPriority(m_hThread);
}

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostThreadMessageW(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance()
{
    return FALSE;
}

int CWinThread::ExitInstance()
{
    return static_cast<int>(m_msgCur.wParam);
}

int CWinThread::Run()
{
    while (PumpMessage()) {
    }
    return ExitInstance();
}

BOOL CWinThread::PumpMessage()
{
    BOOL got = GetMessageW(&m_msgCur, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        return FALSE;
    }
    if (m_msgCur.hwnd == nullptr && DispatchThreadMessage(m_msgCur)) {
        return TRUE;
    }
    if (!PreTranslateMessage(&m_msgCur)) {
        TranslateMessage(&m_msgCur);
        DispatchMessageW(&m_msgCur);
    }
    return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG*)
{
    return FALSE;
}

void CWinThread::Delete()
{
    delete this;
}

ThreadMessageMap CWinThread::GetThreadMessageMap() const
{
    return ThreadMessageMap{nullptr, 0};
}

BOOL CWinThread::DispatchThreadMessage(const MSG& msg)
{
    const ThreadMessageMap map = GetThreadMessageMap();
    for (size_t i = 0; i < map.count; ++i) {
        if (map.entries[i].message == msg.message) {
            (this->*map.entries[i].handler)(msg.wParam, msg.lParam);
            return TRUE;
        }
    }
    return FALSE;
}

CWinThread* AfxGetThread()
{
    if (currentThread != nullptr) {
        return currentThread;
    }
    CWinThread* app = AfxGetApp();
    return app != nullptr && app->m_nThreadID == GetCurrentThreadId() ? app : nullptr;
}

CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority, UINT stackSize, DWORD createFlags,
                           LPSECURITY_ATTRIBUTES security)
{
    if (threadClass == nullptr || !threadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CObject* object = threadClass->CreateObject();
    if (object == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CWinThread* thread = static_cast<CWinThread*>(object);
    if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize, security)) {
        const DWORD error = GetLastError();
        delete thread;
        SetLastError(error);
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if ((createFlags & CREATE_SUSPENDED) == 0) {
        thread->ResumeThread();
    }
    return thread;
}

CWinThread* AfxBeginThread(AFX_THREADPROC threadProc, LPVOID param, int priority, UINT stackSize, DWORD createFlags,
                           LPSECURITY_ATTRIBUTES security)
{
    CWinThread* thread = new (std::nothrow) CWinThread(threadProc, param);
    if (thread == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize, security)) {
        const DWORD error = GetLastError();
        delete thread;
        SetLastError(error);
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if ((createFlags & CREATE_SUSPENDED) == 0) {
        thread->ResumeThread();
    }
    return thread;
}

bool WaitForThreadOrTerminate(const CWinThread& thread, DWORD limit)
{
    if (WaitForSingleObject(thread.m_hThread, limit) == WAIT_OBJECT_0) {
        return true;
    }
    TerminateThread(thread.m_hThread, static_cast<DWORD>(-1));
    // TerminateThread only asks; the thread may still run until the system has ended it.
    WaitForSingleObject(thread.m_hThread, limit);
    return false;
}
