//
//  The setting store and the install-setting transfer when memory runs out: allocations fail
//  from the n-th on (failing_allocation.h), and each operation is run with n = 0, 1, 2, ...
//  until it gets through. None may throw, and the caller's records are either untouched or
//  completely written.
//
#include "core/store/InstallSettingTransfer.h"

#include "failing_allocation.h"
#include "install_setting_golden.h"
#include "store_test_support.h"

#include <string>

namespace {

using oomtest::FailingAllocations;

// Runs operation with allocations failing from the n-th on, for n = 0, 1, ... until it
// reports success; check looks at each failed attempt. Returns the attempts it took.
template <typename Operation, typename Check>
long UntilItGetsThrough(Operation operation, Check checkFailure)
{
    for (long allowed = 0; allowed < 20000; ++allowed) {
        bool done = false;
        {
            FailingAllocations failing(allowed);
            try {
                done = operation();
            } catch (...) {
                ADD_FAILURE() << "threw with " << allowed << " allocations allowed";
                return allowed;
            }
        }
        if (done) {
            return allowed;
        }
        checkFailure(allowed);
    }
    ADD_FAILURE() << "never got through";
    return -1;
}

class StoreOutOfMemory : public CleanProductState {
protected:
    void SetUp() override
    {
        CleanProductState::SetUp();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = CString(temp) + L"QEVRINInstallSetting-oom-" + CString(std::to_wstring(GetCurrentProcessId()).c_str()) +
                L".dat";
        DeleteFileW(path_);
    }
    void TearDown() override
    {
        DeleteFileW(path_);
        CleanProductState::TearDown();
    }

    FileKeySource keys_{Material()};
    CString path_;
};

}  // namespace

TEST_F(StoreOutOfMemory, LoadingAnInstallSettingFileWritesAllOrNothing)
{
    {
        Quelmar::CInstallSettingFilePlusV2 file(path_);
        file.Save(golden::DistinctPayload());
    }
    PasswordData passwordData;
    SettingV3 setting;
    SettingTimeStamp stamp;
    SettingTimeStamp exportTime;
    auto reset = [&] {
        passwordData = PasswordData();
        passwordData.unlockMode = 7;
        setting = SettingV3();
        setting.outsidePolicy = 7;
        stamp.time = 7;
        exportTime.time = 7;
    };
    reset();
    const long attempts = UntilItGetsThrough(
        [&] {
            return LoadInstallSettingFile(path_, passwordData, setting, stamp, exportTime) == kApplied;
        },
        [&](long allowed) {
            EXPECT_EQ(passwordData.unlockMode, 7) << allowed;
            EXPECT_EQ(setting.outsidePolicy, 7) << allowed;
            EXPECT_TRUE(setting.whitelist.empty()) << allowed;
            EXPECT_EQ(stamp.time, 7) << allowed;
            EXPECT_EQ(exportTime.time, 7) << allowed;
            reset();
        });
    EXPECT_GT(attempts, 0);
    const InstallSettingData want = golden::DistinctRecord();
    EXPECT_EQ(setting.outsidePolicy, want.outsidePolicy);
    EXPECT_EQ(passwordData.unlockMode, want.unlockMode);
    EXPECT_EQ(setting.whitelist.size(), want.whitelist.size());
}

TEST_F(StoreOutOfMemory, ExportAndSavesNeverThrow)
{
    SettingV3 setting;
    SettingStore::SetDefaultSettings(setting);
    setting.whitelist.resize(3);
    PasswordData passwordData;
    SettingTimeStamp stamp;
    EXPECT_GT(UntilItGetsThrough([&] { return ExportInstallSettingFile(keys_, passwordData, path_, setting, stamp) == 1; },
                                 [](long) {}),
              0);
    EXPECT_GT(UntilItGetsThrough([&] { return SettingStore::SaveSettingFile(keys_, setting) == 1; }, [](long) {}), 0);
    ImportTimeRecord record;
    EXPECT_GT(UntilItGetsThrough([&] { return SettingStore::SaveImportTime(record, keys_) == 1; }, [](long) {}), 0);
    EXPECT_GT(UntilItGetsThrough([&] { return SettingStore::SavePasswordData(passwordData) == 1; }, [](long) {}), 0);
}

TEST_F(StoreOutOfMemory, LoadsNeverThrow)
{
    SettingV3 written;
    SettingStore::SetDefaultSettings(written);
    written.whitelist.resize(2);
    ASSERT_EQ(SettingStore::SaveSettingFile(keys_, written), 1);
    ASSERT_EQ(SettingStore::SavePasswordData(PasswordData()), 1);
    ASSERT_EQ(SettingStore::SaveImportTime(ImportTimeRecord(), keys_), 1);

    EXPECT_GT(UntilItGetsThrough(
                  [&] {
                      SettingV3 setting;
                      PasswordData passwordData;
                      return SettingStore::Load(setting, passwordData, keys_) == 1 && setting.whitelist.size() == 2;
                  },
                  [](long) {}),
              0);
    EXPECT_GT(UntilItGetsThrough(
                  [&] {
                      ImportTimeRecord record;
                      return SettingStore::LoadImportTime(record, keys_) == 1;
                  },
                  [](long) {}),
              0);
}
