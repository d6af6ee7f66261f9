//
//  The disc recorder lock thread on Windows XP's disc master service: idle recorders held from
//  the start, a busy one taken once idle, all taken again after the service's server
//  restarted, and all given back when the thread stops.
//
#include "service/discs/CIMAPIDeviceLockThread.h"
#include "testbed/imapi/DiscSystem.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using testbed::DiscMedia;

class DiscRecorderLockThreadTest : public ::testing::Test {
protected:
    void SetUp() override { pc.SetWindowsVersion(5, 1); }
    void TearDown() override { StopDiscRecorderLockThread(thread); }

    size_t Held()
    {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        size_t held = 0;
        for (auto& drive : discs.Recorders())
            held += drive->exclusiveHolder != nullptr;
        return held;
    }

    // Asks for passes, as device events do, until the condition holds or 10 seconds passed.
    bool PassesUntil(const std::function<bool()>& condition)
    {
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (!condition()) {
            if (GetTickCount64() > deadline)
                return false;
            thread->RequestPass();
            Sleep(20);
        }
        return true;
    }

    void Change(const std::function<void()>& change)
    {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        change();
    }

    testbed::Machine pc;
    testbed::DiscSystem discs{pc};
    CIMAPIDeviceLockThread* thread = nullptr;
};

TEST_F(DiscRecorderLockThreadTest, HoldsEveryIdleRecorderUntilItStops)
{
    discs.AddRecorder(L'D', DiscMedia::Blank);
    discs.AddRecorder(L'E', DiscMedia::None);
    discs.AddRecorder(L'F').heldByOtherProgram = true;
    thread = StartDiscRecorderLockThread();
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(PassesUntil([&] { return Held() == 2; })) << Held();

    StopDiscRecorderLockThread(thread);
    thread = nullptr;
    EXPECT_EQ(Held(), 0u);
    EXPECT_EQ(discs.LiveObjects(), 0);
    EXPECT_EQ(discs.OutstandingAllocations(), 0u);
    for (auto& drive : discs.Recorders())
        EXPECT_EQ(drive->closesWithoutOpen, 0u);
}

TEST_F(DiscRecorderLockThreadTest, TakesABusyRecorderOnceItIsIdle)
{
    discs.AddRecorder(L'D');
    testbed::DiscRecorder& burning = discs.AddRecorder(L'E');
    burning.burning = true;
    thread = StartDiscRecorderLockThread();
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(PassesUntil([&] { return Held() == 1; }));

    Change([&] { burning.burning = false; });
    EXPECT_TRUE(PassesUntil([&] { return Held() == 2; })) << Held();
}

TEST_F(DiscRecorderLockThreadTest, TakesTheRecordersAgainAfterTheMasterServerRestarted)
{
    discs.AddRecorder(L'D');
    discs.AddRecorder(L'E');
    thread = StartDiscRecorderLockThread();
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(PassesUntil([&] { return Held() == 2; }));

    Change([&] { discs.RestartMasterServer(); });
    EXPECT_EQ(Held(), 0u);
    EXPECT_TRUE(PassesUntil([&] { return Held() == 2; })) << Held();

    StopDiscRecorderLockThread(thread);
    thread = nullptr;
    EXPECT_EQ(discs.LiveObjects(), 0);
}

TEST_F(DiscRecorderLockThreadTest, TakesARecorderConnectedLaterWithItsPeriodicPass)
{
    discs.AddRecorder(L'D');
    thread = StartDiscRecorderLockThread();
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(PassesUntil([&] { return Held() == 1; }));

    // No device event: the thread's own timer brings the next pass.
    discs.AddRecorder(L'E');
    const ULONGLONG deadline = GetTickCount64() + 3 * CIMAPIDeviceLockThread::kPassPeriod;
    while (Held() < 2 && GetTickCount64() < deadline)
        Sleep(50);
    EXPECT_EQ(Held(), 2u);
}

TEST_F(DiscRecorderLockThreadTest, DoesNotStartWithoutTheDiscMasterService)
{
    discs.AddRecorder(L'D');
    discs.firstGenerationRegistered = false;
    EXPECT_EQ(StartDiscRecorderLockThread(), nullptr);
    EXPECT_EQ(Held(), 0u);
}

}  // namespace
