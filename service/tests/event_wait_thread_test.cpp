// The volume-event thread on a real named event: one notification per signal, none lost when
// the driver signals while the observer runs, and a stop that ends the thread by itself, also
// when it was never resumed.
#include "service/events/CEventWaitThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace servicetest {
namespace {

using namespace Quelmar;

class CountingObserver : public Observer {
public:
    void OnSubjectNotify(Subject*) override
    {
        // The driver attaches another volume while the first notification is handled.
        if (++notifications == 1 && signalDuringFirst != nullptr)
            SetEvent(signalDuringFirst);
    }
    void OnServiceCommand(ServiceCommandRequest&) override {}
    std::atomic<int> notifications{0};
    HANDLE signalDuringFirst = nullptr;
};

bool Eventually(const std::atomic<int>& value, int expected)
{
    for (int i = 0; i < 1000 && value != expected; ++i)
        Sleep(10);
    return value == expected;
}

// The thread's exit code, read through a handle that outlives the thread object.
struct ThreadWatch {
    explicit ThreadWatch(CWinThread* thread)
    {
        DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(), &handle, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    ~ThreadWatch() { CloseHandle(handle); }
    DWORD ExitCode() const
    {
        DWORD code = 0;
        GetExitCodeThread(handle, &code);
        return code;
    }
    HANDLE handle = nullptr;
};

TEST(EventWaitThread, SignalDuringANotificationIsNotLost)
{
    CountingObserver observer;
    CEventWaitThread* thread = CreateVolumeEventThread(&observer);
    ASSERT_NE(nullptr, thread);
    observer.signalDuringFirst = thread->VolumeEvent();
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, QUELMAR_VOLUME_EVENT_NAME);
    ASSERT_NE(nullptr, event);
    SetEvent(event);
    EXPECT_TRUE(Eventually(observer.notifications, 2));
    Sleep(50);
    EXPECT_EQ(2, observer.notifications.load());
    CloseHandle(event);

    ThreadWatch watch(thread);
    StopVolumeEventThread(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch.handle, 0));
    // Ended through its loop, not terminated.
    EXPECT_EQ(0u, watch.ExitCode());
}

TEST(EventWaitThread, StopOfAThreadThatNeverRanEndsItWithoutTheWait)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(CEventWaitThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, started);
    ThreadWatch watch(started);
    // As when the event could not be made: no event, never resumed.
    StopVolumeEventThread(static_cast<CEventWaitThread*>(started));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch.handle, 0));
    EXPECT_EQ(0u, watch.ExitCode());
}

TEST(EventWaitThread, SecondInstanceWaitsOnTheSameEvent)
{
    CountingObserver first, second;
    CEventWaitThread* one = CreateVolumeEventThread(&first);
    CEventWaitThread* two = CreateVolumeEventThread(&second);
    ASSERT_NE(nullptr, one);
    ASSERT_NE(nullptr, two);
    SetEvent(one->VolumeEvent());
    // Each notifies once, whichever resets first; at least one sees it.
    Sleep(100);
    EXPECT_GE(first.notifications + second.notifications, 1);
    StopVolumeEventThread(one);
    StopVolumeEventThread(two);
}

}  // namespace
}  // namespace servicetest
