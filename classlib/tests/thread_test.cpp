// Threads of the class library: started by run-time class, suspended until resumed, with a
// queue that keeps what was posted before they ran, a message table, thread timers and the
// exit codes of their loop.
#include "classlib/CWinApp.h"
#include "classlib/CWinThread.h"
#include "classlib/ScopedHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

namespace {

const UINT WM_TEST_FIRST = WM_APP + 1;
const UINT WM_TEST_SECOND = WM_APP + 2;
const UINT WM_TEST_UNMAPPED = WM_APP + 3;

std::atomic<int> destroyedThreads{0};

class RecordingThread : public CWinThread {
    DECLARE_DYNCREATE(RecordingThread)

public:
    RecordingThread() { m_bAutoDelete = FALSE; }
    ~RecordingThread() override { ++destroyedThreads; }

    BOOL InitInstance() override
    {
        ranInitInstance = GetCurrentThreadId();
        currentAtStart = AfxGetThread();
        return initResult;
    }
    int ExitInstance() override
    {
        exitedWith = CWinThread::ExitInstance();
        return exitedWith + exitOffset;
    }

    void OnFirst(WPARAM wParam, LPARAM lParam) { received.push_back({WM_TEST_FIRST, wParam, lParam}); }
    void OnSecond(WPARAM wParam, LPARAM lParam)
    {
        received.push_back({WM_TEST_SECOND, wParam, lParam});
        if (wParam == 99) {
            PostQuitMessage(7);
        }
    }

    struct Seen {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Seen> received;
    DWORD ranInitInstance = 0;
    CWinThread* currentAtStart = nullptr;
    BOOL initResult = TRUE;
    int exitedWith = -100;
    int exitOffset = 0;

protected:
    ThreadMessageMap GetThreadMessageMap() const override
    {
        static const ThreadMessageEntry entries[] = {
            OnThreadMessage(WM_TEST_FIRST, &RecordingThread::OnFirst),
            OnThreadMessage(WM_TEST_SECOND, &RecordingThread::OnSecond),
        };
        return MakeThreadMessageMap(entries);
    }
};
IMPLEMENT_DYNCREATE(RecordingThread, CWinThread)

// Deleted objects are kept filled with a mark instead of given back, so that a write into one
// after its deletion is still there to be seen.
struct DeletedBlock {
    unsigned char* bytes;
    size_t size;
};
std::vector<DeletedBlock> deletedThreadObjects;
const unsigned char kDeletedMark = 0xDD;

class SelfDeletingThread : public CWinThread {
    DECLARE_DYNCREATE(SelfDeletingThread)

public:
    ~SelfDeletingThread() override { ++destroyedThreads; }
    BOOL InitInstance() override { return FALSE; }

    // The class library makes run-time class objects with the nothrow form.
    static void* operator new(size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
    static void operator delete(void* block, const std::nothrow_t&) noexcept { ::operator delete(block); }
    // Runs on the thread as it ends; the test reads the list only after the thread's end.
    static void operator delete(void* block, size_t size)
    {
        std::memset(block, kDeletedMark, size);
        deletedThreadObjects.push_back({static_cast<unsigned char*>(block), size});
    }
};
IMPLEMENT_DYNCREATE(SelfDeletingThread, CWinThread)

class NotAThread : public CObject {
    DECLARE_DYNCREATE(NotAThread)
};
IMPLEMENT_DYNCREATE(NotAThread, CObject)

DWORD ExitCodeAfterJoin(CWinThread* thread)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread->m_hThread, 10000));
    DWORD code = 0;
    GetExitCodeThread(thread->m_hThread, &code);
    return code;
}

RecordingThread* StartRecording(DWORD flags)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(RecordingThread), THREAD_PRIORITY_NORMAL, 0, flags);
    EXPECT_NE(nullptr, started);
    return static_cast<RecordingThread*>(started);
}

TEST(WinThread, MessagesPostedWhileSuspendedAreKeptAndHandledInOrder)
{
    RecordingThread* thread = StartRecording(CREATE_SUSPENDED);
    ASSERT_NE(nullptr, thread);
    // Nothing runs before the resume, yet the queue already takes posts.
    ASSERT_TRUE(thread->PostThreadMessage(WM_TEST_FIRST, 1, 10));
    ASSERT_TRUE(thread->PostThreadMessage(WM_TEST_UNMAPPED, 0, 0));
    ASSERT_TRUE(thread->PostThreadMessage(WM_TEST_SECOND, 2, 20));
    ASSERT_TRUE(thread->PostThreadMessage(WM_TEST_SECOND, 99, 0));
    Sleep(50);
    EXPECT_EQ(0u, thread->ranInitInstance);
    EXPECT_EQ(1u, thread->ResumeThread());

    EXPECT_EQ(7u, ExitCodeAfterJoin(thread));
    EXPECT_EQ(thread->m_nThreadID, thread->ranInitInstance);
    EXPECT_EQ(thread, thread->currentAtStart);
    ASSERT_EQ(3u, thread->received.size());
    EXPECT_EQ(WM_TEST_FIRST, thread->received[0].message);
    EXPECT_EQ(10, thread->received[0].lParam);
    EXPECT_EQ(WM_TEST_SECOND, thread->received[1].message);
    EXPECT_EQ(2u, thread->received[1].wParam);
    EXPECT_EQ(99u, thread->received[2].wParam);
    EXPECT_EQ(7, thread->exitedWith);
    delete thread;
}

TEST(WinThread, FailedInitInstanceEndsThroughExitInstance)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(RecordingThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, started);
    RecordingThread* thread = static_cast<RecordingThread*>(started);
    thread->initResult = FALSE;
    thread->exitOffset = 5;
    thread->ResumeThread();
    EXPECT_EQ(5u, ExitCodeAfterJoin(thread));
    EXPECT_TRUE(thread->received.empty());
    delete thread;
}

// The thread may end and delete its object while ResumeThread still runs: nothing may touch
// the object once the thread is let go. The race is narrow, so it is run many times.
TEST(WinThread, AutoDeletingThreadDeletesItselfAtItsEndUntouchedByItsResume)
{
    const int kStarts = 1000;
    const int before = destroyedThreads;
    deletedThreadObjects.clear();
    for (int i = 0; i < kStarts; ++i) {
        CWinThread* thread =
            AfxBeginThread(RUNTIME_CLASS(SelfDeletingThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        ASSERT_NE(nullptr, thread);
        ScopedHandle handle;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(), handle.Receive(), 0,
                                    FALSE, DUPLICATE_SAME_ACCESS));
        thread->ResumeThread();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handle.Get(), 10000));
    }
    EXPECT_EQ(before + kStarts, destroyedThreads.load());
    ASSERT_EQ(deletedThreadObjects.size(), size_t(kStarts));
    int written = 0;
    for (const DeletedBlock& block : deletedThreadObjects) {
        for (size_t i = 0; i < block.size; ++i) {
            if (block.bytes[i] != kDeletedMark) {
                ++written;
                break;
            }
        }
        ::operator delete(block.bytes);
    }
    deletedThreadObjects.clear();
    EXPECT_EQ(written, 0) << "objects written after their thread deleted them";
}

TEST(WinThread, OnlyCreatableThreadClassesStart)
{
    EXPECT_EQ(nullptr, AfxBeginThread(RUNTIME_CLASS(NotAThread)));
    EXPECT_EQ(nullptr, AfxBeginThread(static_cast<const CRuntimeClass*>(nullptr)));
    EXPECT_TRUE(RUNTIME_CLASS(RecordingThread)->IsDerivedFrom(RUNTIME_CLASS(CWinThread)));
    EXPECT_FALSE(RUNTIME_CLASS(NotAThread)->IsDerivedFrom(RUNTIME_CLASS(CWinThread)));
}

TEST(WinThread, ThreadFunctionRunsInsteadOfTheLoop)
{
    static std::atomic<int> calls{0};
    AFX_THREADPROC proc = [](LPVOID param) -> UINT {
        ++calls;
        return *static_cast<UINT*>(param);
    };
    UINT value = 42;
    CWinThread* thread = AfxBeginThread(proc, &value, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, thread);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    EXPECT_EQ(42u, ExitCodeAfterJoin(thread));
    EXPECT_EQ(1, calls.load());
    delete thread;
}

// A thread timer without a window, as the service's workers set them: the loop dispatches its
// WM_TIMER to the timer procedure on the thread that set it.
class TimerThread : public CWinThread {
    DECLARE_DYNCREATE(TimerThread)

public:
    TimerThread() { m_bAutoDelete = FALSE; }
    BOOL InitInstance() override
    {
        timerId = SetTimer(nullptr, 1000, 20, &TimerThread::OnTimer);
        return timerId != 0;
    }
    int ExitInstance() override
    {
        KillTimer(nullptr, timerId);
        return ticks;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD)
    {
        TimerThread* self = static_cast<TimerThread*>(AfxGetThread());
        if (id == self->timerId && ++self->ticks == 3) {
            PostQuitMessage(0);
        }
    }
    UINT_PTR timerId = 0;
    int ticks = 0;
};
IMPLEMENT_DYNCREATE(TimerThread, CWinThread)

TEST(WinThread, ThreadTimerReachesItsProcedureInTheLoop)
{
    CWinThread* thread = AfxBeginThread(RUNTIME_CLASS(TimerThread));
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(3u, ExitCodeAfterJoin(thread));
    delete thread;
}

class ShortApp : public CWinApp {
public:
    ShortApp() : CWinApp(L"ShortApp") {}
    BOOL InitInstance() override
    {
        sawSelf = AfxGetApp() == this && AfxGetThread() == this;
        PostThreadMessage(WM_QUIT, 0, 0);
        return runLoop;
    }
    int ExitInstance() override { return CWinThread::ExitInstance() + 11; }
    BOOL runLoop = FALSE;
    bool sawSelf = false;
};

TEST(WinApp, WinMainRunsTheLoopOnlyWhenInitInstanceSucceeds)
{
    {
        ShortApp app;
        EXPECT_EQ(11, AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L""), SW_HIDE));
        EXPECT_TRUE(app.sawSelf);
        // The loop never ran: the quit it posted is still queued.
        MSG msg;
        EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    {
        ShortApp app;
        app.runLoop = TRUE;
        EXPECT_EQ(11, AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L""), SW_HIDE));
        EXPECT_EQ(GetCurrentThreadId(), app.m_nThreadID);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}

}  // namespace
