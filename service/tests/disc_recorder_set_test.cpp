//
//  The disc recorders the service holds while CD/DVD writing is blocked: idle ones taken
//  exclusively, busy ones once idle, all again after the disc master's server restarted, ones
//  it cannot keep or that were unplugged given back at once, and every one at the end.
//
#include "service/discs/DiscRecorderSet.h"
#include "testbed/imapi/DiscSystem.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace {

using testbed::DiscMedia;

class DiscRecorderSetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    size_t HeldInTheSimulation()
    {
        size_t held = 0;
        for (auto& drive : discs.Recorders())
            held += drive->exclusiveHolder != nullptr;
        return held;
    }

    testbed::Machine pc;
    testbed::DiscSystem discs{pc};
};

TEST_F(DiscRecorderSetTest, HoldsEveryIdleRecorderOnceAndLeavesBusyOnes)
{
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    testbed::DiscRecorder& unmounted = discs.AddUnmountedRecorder(DiscMedia::None);
    discs.AddRecorder(L'F').heldByOtherProgram = true;
    discs.AddRecorder(L'G').burning = true;

    DiscRecorderSet set;
    ASSERT_EQ(set.CreateMaster(), S_OK);
    set.LockIdleRecorders();
    EXPECT_EQ(set.HeldCount(), 2u);
    EXPECT_NE(d.exclusiveHolder, nullptr);
    EXPECT_NE(unmounted.exclusiveHolder, nullptr);

    set.LockIdleRecorders();
    EXPECT_EQ(set.HeldCount(), 2u);
    EXPECT_EQ(HeldInTheSimulation(), 2u);
}

TEST_F(DiscRecorderSetTest, TakesABusyRecorderOnceItIsIdle)
{
    testbed::DiscRecorder& burning = discs.AddRecorder(L'D');
    burning.burning = true;
    testbed::DiscRecorder& held = discs.AddRecorder(L'E');
    held.heldByOtherProgram = true;

    DiscRecorderSet set;
    ASSERT_EQ(set.CreateMaster(), S_OK);
    set.LockIdleRecorders();
    EXPECT_EQ(set.HeldCount(), 0u);

    burning.burning = false;
    held.heldByOtherProgram = false;
    set.LockIdleRecorders();
    EXPECT_EQ(set.HeldCount(), 2u);
    EXPECT_NE(burning.exclusiveHolder, nullptr);
    EXPECT_NE(held.exclusiveHolder, nullptr);
}

TEST_F(DiscRecorderSetTest, RetakesTheRecordersAfterTheMasterServerRestarts)
{
    discs.AddRecorder(L'D');
    discs.AddRecorder(L'E');
    DiscRecorderSet set;
    ASSERT_EQ(set.CreateMaster(), S_OK);
    set.LockIdleRecorders();
    ASSERT_EQ(HeldInTheSimulation(), 2u);

    discs.RestartMasterServer();
    EXPECT_EQ(HeldInTheSimulation(), 0u);
    // The first pass afterwards lets go of the dead server's master and recorders and makes a
    // new master: only that one object is left.
    set.LockIdleRecorders();
    EXPECT_TRUE(set.HasMaster());
    EXPECT_EQ(set.HeldCount(), 0u);
    EXPECT_EQ(discs.LiveObjects(), 1);

    set.LockIdleRecorders();
    EXPECT_EQ(set.HeldCount(), 2u);
    EXPECT_EQ(HeldInTheSimulation(), 2u);
}

TEST_F(DiscRecorderSetTest, ClosesEveryRecorderItHeldWhenItEnds)
{
    discs.AddRecorder(L'D');
    discs.AddRecorder(L'E').burning = true;
    {
        DiscRecorderSet set;
        ASSERT_EQ(set.CreateMaster(), S_OK);
        set.LockIdleRecorders();
        ASSERT_EQ(HeldInTheSimulation(), 1u);
    }
    EXPECT_EQ(HeldInTheSimulation(), 0u);
    for (auto& drive : discs.Recorders())
        EXPECT_EQ(drive->closesWithoutOpen, 0u);
    EXPECT_EQ(discs.LiveObjects(), 0);
    EXPECT_EQ(discs.OutstandingAllocations(), 0u);
}

TEST_F(DiscRecorderSetTest, RecordersItCannotKeepOrThatWereUnpluggedAreClosedAndLetGo)
{
    testbed::DiscRecorder& refusing = discs.AddRecorder(L'D');
    refusing.refusesSecondReference = true;
    testbed::DiscRecorder& usb = discs.AddRecorder(L'E');
    DiscRecorderSet set;
    ASSERT_EQ(set.CreateMaster(), S_OK);
    set.LockIdleRecorders();
    // D was opened but could not be kept: it is closed at once, not left taken.
    EXPECT_EQ(refusing.closes, 1u);
    ASSERT_EQ(set.HeldCount(), 1u);
    const long live = discs.LiveObjects();
    for (int cycle = 0; cycle < 3; ++cycle) {
        discs.Unplug(usb);
        set.LockIdleRecorders();
        EXPECT_EQ(set.HeldCount(), 0u) << cycle;
        discs.Replug(usb);
        set.LockIdleRecorders();
        EXPECT_EQ(set.HeldCount(), 1u) << cycle;
        EXPECT_NE(usb.exclusiveHolder, nullptr) << cycle;
        EXPECT_EQ(discs.LiveObjects(), live) << cycle;
    }
}

TEST_F(DiscRecorderSetTest, AvailabilityLeavesTheCallersComInitialisationAlone)
{
    discs.AddRecorder(L'D');
    bool available = false;
    HRESULT afterwards = E_FAIL;
    // A thread in the multithreaded apartment: the single-threaded initialisation of the
    // question fails there, and must not undo the thread's own.
    std::thread worker([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
            return;
        available = DiscRecorderSet::DiscMasterAvailable();
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        // Looked up, as the test binaries too must load on Windows 6.0, which lacks it.
        typedef HRESULT(WINAPI * GetApartmentTypeFn)(APTTYPE*, APTTYPEQUALIFIER*);
        auto getApartmentType = reinterpret_cast<GetApartmentTypeFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ole32.dll"), "CoGetApartmentType")));
        afterwards = getApartmentType ? getApartmentType(&type, &qualifier) : E_NOTIMPL;
        CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(available);
    EXPECT_EQ(afterwards, S_OK);

    discs.firstGenerationRegistered = false;
    EXPECT_FALSE(DiscRecorderSet::DiscMasterAvailable());
    EXPECT_EQ(discs.LiveObjects(), 0);
}

}  // namespace
