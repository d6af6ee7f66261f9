#pragma once
//
//  The class library's thread object: a Win32 thread with its own message queue, started by
//  run-time class or by a thread function, running InitInstance and then a message loop that
//  hands thread messages to a small table of handlers. Windows builds only.
//
//  The queue is made on the new thread before its creator gets the object back, so a message
//  posted at once, even to a thread created suspended, is kept. Thread timers (SetTimer
//  without a window) work in the loop: their WM_TIMER is dispatched to the timer procedure.
//
#include "classlib/CRuntimeClass.h"
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <cstddef>
#include <new>

class CWnd;
class CWinThread;

typedef UINT(__cdecl* AFX_THREADPROC)(LPVOID);

// One row of a thread's message table: a thread message and the member that handles it.
struct ThreadMessageEntry {
    UINT message;
    void (CWinThread::*handler)(WPARAM, LPARAM);
};

struct ThreadMessageMap {
    const ThreadMessageEntry* entries;
    size_t count;
};

// A table row for a handler of a derived thread class.
template <typename Thread>
constexpr ThreadMessageEntry OnThreadMessage(UINT message, void (Thread::*handler)(WPARAM, LPARAM))
{
    return ThreadMessageEntry{message, static_cast<void (CWinThread::*)(WPARAM, LPARAM)>(handler)};
}

template <size_t N>
constexpr ThreadMessageMap MakeThreadMessageMap(const ThreadMessageEntry (&entries)[N])
{
    return ThreadMessageMap{entries, N};
}

class CWinThread : public CObject {
    DECLARE_DYNCREATE(CWinThread)

public:
    CWinThread();
    // A worker thread that runs the function instead of InitInstance and the loop.
    CWinThread(AFX_THREADPROC threadProc, LPVOID param);
    ~CWinThread() override;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread. Returns once the thread's queue exists; with CREATE_SUSPENDED the
    // thread then waits for ResumeThread before it runs InitInstance. FALSE (and no thread)
    // when the thread or its start-up events cannot be created; GetLastError tells why.
    BOOL CreateThread(DWORD createFlags = 0, UINT stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);

    DWORD ResumeThread();
    DWORD SuspendThread();
    BOOL SetThreadPriority(int priority);
    int GetThreadPriority() const;
    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
    operator HANDLE() const { return m_hThread; }

    virtual BOOL InitInstance();
    // The loop's result; by default the exit code that WM_QUIT carried.
    virtual int ExitInstance();
    // Pumps messages until WM_QUIT, then returns ExitInstance's result.
    virtual int Run();
    // One message: FALSE when it was WM_QUIT or the queue failed.
    virtual BOOL PumpMessage();
    // A last look at a message before it is translated and dispatched; TRUE when handled.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Called at the thread's end when m_bAutoDelete is set.
    virtual void Delete();

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    // The object deletes itself when its thread ends. Owners that wait on m_hThread after the
    // end clear it before they resume the thread.
    BOOL m_bAutoDelete = TRUE;
    CWnd* m_pMainWnd = nullptr;

protected:
    // The thread messages this class handles; none by default.
    virtual ThreadMessageMap GetThreadMessageMap() const;
    // Hands a thread message to its table entry; FALSE when the table has none.
    BOOL DispatchThreadMessage(const MSG& msg);

    MSG m_msgCur = {};

private:
    static unsigned __stdcall ThreadEntry(void* startup);
    int RunThread();
    // True when this call let a thread created suspended go.
    bool OpenStartGate();

    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
    // Held shut while a thread created suspended waits to be resumed.
    ScopedHandle m_startGate;
};

// Builds an object of the class and starts its thread with the priority; null when the class
// is not a creatable thread class or the thread cannot be started.
CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
CWinThread* AfxBeginThread(AFX_THREADPROC threadProc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

// The thread object of the calling thread: the one it was started for, the application on the
// main thread, else null.
CWinThread* AfxGetThread();

// Waits for the thread to end; past the limit it is terminated. True when it ended by itself.
// A terminated thread's object is in no known state (it may have stopped inside any member):
// its owner must not delete it, so false means "leave the object alone".
bool WaitForThreadOrTerminate(const CWinThread& thread, DWORD limit);
