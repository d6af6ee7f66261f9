#pragma once
//
//  A simulated PC with disc recorders, on a thread that has initialised COM.
//
#include "testbed/imapi/DiscSystem.h"

#include <gtest/gtest.h>

#include <objbase.h>

class DiscTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    static DWORD Bit(wchar_t letter) { return DWORD(1) << (letter - L'A'); }

    // Runs one pass of an implementation over mask and returns the pending mask.
    template <typename Implementation>
    DWORD EjectWith(DWORD mask)
    {
        Implementation ejector;
        EXPECT_EQ(ejector.Initialize(), S_OK);
        DWORD pending = 0;
        ejector.Eject(mask, pending);
        ejector.Uninitialize();
        return pending;
    }

    // Nothing the simulated objects handed out is still held by the code under test, and the
    // system's imapi2.dll was let go only after the last object of its code.
    void ExpectEverythingGivenBack()
    {
        EXPECT_EQ(discs.LiveObjects(), 0);
        EXPECT_EQ(discs.OutstandingAllocations(), 0u);
        EXPECT_EQ(discs.imapi2.loads, 0);
        EXPECT_EQ(discs.imapi2.unloadsUnderObjects, 0u);
    }

    testbed::Machine pc;
    testbed::DiscSystem discs{pc};
};
