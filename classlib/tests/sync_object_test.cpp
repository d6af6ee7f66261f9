// Mutexes, semaphores and events of the class library, and the scoped lock over them.
#include "classlib/CSyncObject.h"
#include "classlib/ScopedHandle.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SingleLock, AbandonedMutexCountsAsTaken)
{
    CMutex mutex;
    // The owner ends without releasing: the next waiter gets WAIT_ABANDONED and owns it.
    std::thread owner([&mutex] { ASSERT_TRUE(mutex.Lock(0)); });
    owner.join();
    CSingleLock lock(&mutex);
    EXPECT_TRUE(lock.Lock(1000));
    EXPECT_TRUE(lock.IsLocked());
}

TEST(SingleLock, TimesOutWhileAnotherThreadHoldsTheMutexAndUnlocksAtScopeEnd)
{
    CMutex mutex;
    {
        CSingleLock held(&mutex, TRUE);
        ASSERT_TRUE(held.IsLocked());
        std::thread other([&mutex] {
            CSingleLock lock(&mutex);
            EXPECT_FALSE(lock.Lock(20));
            EXPECT_FALSE(lock.IsLocked());
        });
        other.join();
    }
    std::thread after([&mutex] {
        CSingleLock lock(&mutex);
        EXPECT_TRUE(lock.Lock(0));
    });
    after.join();
}

TEST(SingleLock, SemaphoreCountsEachHolder)
{
    CSemaphore semaphore(1, 1);
    CSingleLock first(&semaphore);
    ASSERT_TRUE(first.Lock(0));
    CSingleLock second(&semaphore);
    EXPECT_FALSE(second.Lock(0));
    EXPECT_TRUE(first.Unlock());
    EXPECT_FALSE(first.IsLocked());
    EXPECT_TRUE(second.Lock(0));
    // A second unlock of a lock not held does not release the semaphore twice.
    EXPECT_TRUE(first.Unlock());
    LONG previous = -1;
    second.Unlock();
    EXPECT_FALSE(semaphore.Unlock(1, &previous));
}

TEST(SyncObjects, EventSignalsAndResets)
{
    CEvent event(FALSE, TRUE);
    EXPECT_FALSE(event.Lock(0));
    EXPECT_TRUE(event.SetEvent());
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.ResetEvent());
    EXPECT_FALSE(event.Lock(0));
}

TEST(SyncObjects, NamedObjectsMeetAndBadParametersThrow)
{
    CMutex first(FALSE, L"qevrin-classlib-test-mutex");
    CMutex second(FALSE, L"qevrin-classlib-test-mutex");
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    CSingleLock lock(&first, TRUE);
    std::thread other([&second] { EXPECT_FALSE(second.Lock(0)); });
    other.join();

    try {
        CSemaphore impossible(2, 1);
        ADD_FAILURE() << "a semaphore above its maximum was created";
    } catch (const CResourceException& error) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), error.m_osError);
    }
}

}  // namespace
