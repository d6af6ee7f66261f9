//
//  The tool core: start-up over the stored password data, and its requests to the service.
//
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/tests/product_key_support.h"
#include "tool/SettingToolCore.h"
#include "tool/tests/fake_service_pipe.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class ToolCore : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override { Forget(); }

    static void Forget()
    {
        producttest::DeleteProductKey();
        DeleteFileW(Quelmar::GetSettingFilePath());
    }
    FakeServicePipe service;
};

}  // namespace

TEST_F(ToolCore, MissingPasswordItemIsAFirstRunWithDefaults)
{
    Quelmar::SettingToolCore core;
    EXPECT_EQ(core.Connect(), Quelmar::kConnected);
    EXPECT_EQ(*core.IsSetupDone(), 0);
    EXPECT_EQ(core.GetPasswordData()->passwordSet, 0);
    EXPECT_EQ(core.GetSettings()->autoImport.importAtStart, 0);
    // The lock is held: a second connect is a second instance.
    EXPECT_EQ(core.Connect(), Quelmar::kAnotherInstance);
    core.Disconnect();
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{1}));
}

TEST_F(ToolCore, StoredPasswordItemIsLoadedAndMarksSetupDone)
{
    Quelmar::PasswordData stored;
    stored.passwordSet = 1;
    stored.passwordDigest = {1, 2, 3, 4};
    stored.keyDeviceSet = 1;
    stored.keyDevice.serialNumber = L"4C53";
    stored.unlockMode = 2;
    ASSERT_EQ(Quelmar::SettingStore::SavePasswordData(stored), 1);

    Quelmar::SettingToolCore core;
    EXPECT_EQ(core.Connect(), Quelmar::kConnected);
    EXPECT_EQ(*core.IsSetupDone(), 1);
    EXPECT_EQ(core.GetPasswordData()->passwordSet, 1);
    EXPECT_EQ(core.GetPasswordData()->keyDevice.serialNumber, L"4C53");
    EXPECT_EQ(core.GetPasswordData()->unlockMode, 2);
    core.Disconnect();
}

TEST_F(ToolCore, ServiceRequestsCarryTheOwnProcessAndReportTheAnswer)
{
    Quelmar::SettingToolCore core;
    EXPECT_EQ(core.RegisterExemptProcess(), 1);
    core.UnregisterExemptProcess();
    EXPECT_EQ(core.RequestServiceReload(), 0);
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{4, 5, 2}));
    EXPECT_EQ(service.ProcessIds(), (std::vector<DWORD>{GetCurrentProcessId(), GetCurrentProcessId()}));
}

TEST(ToolCoreWithoutService, RefusedExemptionAndMissingServiceAreFailures)
{
    {
        FakeServicePipe refusing(0);
        Quelmar::SettingToolCore core;
        EXPECT_EQ(core.RegisterExemptProcess(), 0);
    }
    Quelmar::SettingToolCore core;
    EXPECT_EQ(core.RequestServiceReload(), 20);
    EXPECT_EQ(core.RegisterExemptProcess(), 0);
}
