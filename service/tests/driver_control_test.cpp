// The driver control client against a stand-in device served at "\\.\QEVRINd": the version
// check's answers, the open's time limits on the PC's tick count, and the exact bytes of the
// rule table and the exempt codes.
#include "service/core/ServiceCore.h"
#include "service/driver/DriverControl.h"
#include "service/driver/DriverInterface.h"
#include "service/driver/VolumeRulesBuffer.h"
#include "testbed/machine/DevicePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace servicetest {
namespace {

using namespace Quelmar;

struct Request {
    DWORD code;
    std::vector<BYTE> input;
    DWORD outSize;
};

// A control device that answers the version it is given and records every request.
class FakeDriver : public testbed::ControlledObject {
public:
    FakeDriver(std::vector<BYTE> version, std::vector<Request>& requests, bool fail)
        : version_(std::move(version)), requests_(requests), fail_(fail)
    {
    }

    BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        auto bytes = static_cast<const BYTE*>(in);
        requests_.push_back({code, std::vector<BYTE>(bytes, bytes + inSize), outSize});
        *returned = 0;
        if (fail_) {
            SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        if (code == IOCTL_FILTER_GET_VERSION && out != nullptr)
            std::memcpy(out, version_.data(), std::min<size_t>(outSize, version_.size()));
        return TRUE;
    }

private:
    std::vector<BYTE> version_;
    std::vector<Request>& requests_;
    bool fail_;
};

class DriverControlTest : public ::testing::Test {
protected:
    void TearDown() override { DriverControl::DeleteInstance(); }

    // The service core's check, as the service's start runs it; the last error it left.
    BOOL CheckDriver(DWORD* error = nullptr)
    {
        ServiceCore* core = ServiceCore::CreateInstance();
        EXPECT_NE(nullptr, core);
        if (core == nullptr)
            return FALSE;
        const BOOL result = core->CheckDriver();
        if (error != nullptr)
            *error = GetLastError();
        ServiceCore::DeleteInstance();
        return result;
    }

    // Serves the device; while `refuse` is set every open fails as a second open does, and the
    // PC's clock moves on by `step` ms per attempt.
    std::unique_ptr<testbed::DevicePathRegistration> Serve(std::vector<BYTE> version, bool fail = false)
    {
        return std::make_unique<testbed::DevicePathRegistration>(
            L"\\\\.\\QEVRINd", [this, version, fail](DWORD, DWORD& error) -> std::shared_ptr<testbed::ControlledObject> {
                ++opens_;
                if (refuse_) {
                    pc_.tickCountOffset += step_;
                    error = 548;  // ERROR_DEVICE_ALREADY_ATTACHED
                    return nullptr;
                }
                (void)error;
                return std::make_shared<FakeDriver>(version, requests_, fail);
            });
    }

    testbed::Machine pc_;
    std::vector<Request> requests_;
    bool refuse_ = false;
    DWORD step_ = 0;
    int opens_ = 0;
};

const std::vector<BYTE> kVersion = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};

TEST_F(DriverControlTest, VersionCheckAcceptsOnlyItsOwnInterface)
{
    const struct {
        const char* name;
        std::vector<BYTE> answer;
        bool fail;
        BOOL expected;
        DWORD error;
    } cases[] = {
        {"1.0.1.1", kVersion, false, TRUE, ERROR_SUCCESS},
        {"1.0.1.2", {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00}, false, FALSE, ERROR_REVISION_MISMATCH},
        {"2.0.1.1", {0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}, false, FALSE, ERROR_REVISION_MISMATCH},
        {"nothing written", {}, false, FALSE, ERROR_REVISION_MISMATCH},
        {"request fails", kVersion, true, FALSE, ERROR_INVALID_FUNCTION},
    };
    for (const auto& c : cases) {
        requests_.clear();
        auto served = Serve(c.answer, c.fail);
        DWORD error = 0;
        EXPECT_EQ(c.expected, CheckDriver(&error)) << c.name;
        // A failed check never leaves 0 behind: it becomes the service's exit code.
        if (!c.expected) {
            EXPECT_EQ(c.error, error) << c.name;
        }
        ASSERT_EQ(1u, requests_.size()) << c.name;
        EXPECT_EQ(DWORD(IOCTL_FILTER_GET_VERSION), requests_[0].code);
        EXPECT_TRUE(requests_[0].input.empty());
        EXPECT_EQ(8u, requests_[0].outSize);
        // Whatever the outcome, the check leaves the device closed and the object gone.
        EXPECT_EQ(0u, pc_.OpenHandleCount()) << c.name;
        EXPECT_FALSE(DriverControl::GetInstance()->IsOpen());
    }
}

TEST_F(DriverControlTest, DeviceHeldElsewhereIsWaitedForTheLimitThenGivenUp)
{
    auto served = Serve(kVersion);
    refuse_ = true;
    step_ = 5000;
    DWORD error = 0;
    EXPECT_FALSE(CheckDriver(&error));
    EXPECT_EQ(548u, error);
    // 60 s of the PC's clock in 5 s steps: the open is tried until the limit has passed.
    EXPECT_GE(opens_, 12);
    EXPECT_LE(opens_, 14);
    EXPECT_TRUE(requests_.empty());

    // The PC's clock runs on real time too; with the retry pause taken on the PC's clock alone,
    // a loaded machine costs at most one attempt.
    opens_ = 0;
    step_ = 100;
    pc_.sleepAdvancesClock = true;
    EXPECT_FALSE(DriverControl::GetInstance()->Open(DriverOpenLimitEnforcement));
    EXPECT_GE(opens_, 9);
    EXPECT_LE(opens_, 12);

    refuse_ = false;
    EXPECT_TRUE(DriverControl::GetInstance()->Open(DriverOpenLimitEnforcement));
}

TEST_F(DriverControlTest, RuleTableAndExemptCodesAreSentAsTheDriverReadsThem)
{
    auto served = Serve(kVersion);
    DriverControl* driver = DriverControl::GetInstance();
    ASSERT_TRUE(driver->Open(DriverOpenLimitEnforcement));
    const VolumePolicyMap map = {{_T("\\Device\\HarddiskVolume5"), 1}, {_T("\\Device\\HarddiskVolume10"), 2}};
    EXPECT_TRUE(driver->SetPolicy(2, map));
    EXPECT_TRUE(driver->SetPolicy(0, VolumePolicyMap()));
    EXPECT_TRUE(driver->AddExemptProcess(0x12345678));
    EXPECT_TRUE(driver->RemoveExemptProcess(0x12345678));
    ASSERT_EQ(4u, requests_.size());
    EXPECT_EQ(DWORD(0x226004), requests_[0].code);
    EXPECT_EQ(BuildVolumeRulesBuffer(2, map), requests_[0].input);
    EXPECT_EQ(0u, requests_[0].outSize);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0, 0, 0, 0, 0}), requests_[1].input);
    EXPECT_EQ(DWORD(0x226008), requests_[2].code);
    EXPECT_EQ((std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}), requests_[2].input);
    EXPECT_EQ(DWORD(0x22600C), requests_[3].code);
    EXPECT_EQ((std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}), requests_[3].input);
    driver->Close();
    EXPECT_FALSE(driver->IsOpen());
    EXPECT_EQ(0u, pc_.OpenHandleCount());
    // Closed: the calls fail and say so.
    EXPECT_FALSE(driver->SetPolicy(1, map));
}

}  // namespace
}  // namespace servicetest
