// The rule tables the decision produces, sent as the service sends them, go through the
// driver's own control code on the kernel stand-in: every one is accepted and stored exactly
// as sent, in the order sent, with the mode word.
#include "driver/QEVRINd.h"
#include "testbed/kernel/standin/UserIo.h"

#include "service/decision/QuelmarDecision.h"
#include "service/driver/VolumeRulesBuffer.h"
#include "service/tests/DecisionValues.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace servicetest {
namespace {

using Quelmar::QuelmarDecision;
using Quelmar::VolumePolicyMap;

class RuleTableAtDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetKernel();
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        driver_ = standin::LoadDriver(KTEXT("\\FileSystem\\QEVRINd"), DriverEntry, &status);
        ASSERT_EQ(STATUS_SUCCESS, status);
        ASSERT_EQ(STATUS_SUCCESS, standin::OpenDevice(KTEXT("\\??\\QEVRINd"), control_));
    }

    void TearDown() override
    {
        control_.Close();
        if (driver_ != nullptr) {
            ClearVolumeRules();
            ClearPendingVolumes();
        }
        standin::DrainWorkItems();
        for (const std::string& violation : standin::Violations()) {
            ADD_FAILURE() << "kernel rule broken: " << violation;
        }
        standin::ShutdownKernel();
        for (const std::string& leak : standin::Leaks()) {
            ADD_FAILURE() << "leak: " << leak;
        }
    }

    NTSTATUS Send(LONG mode, const VolumePolicyMap& map)
    {
        std::vector<BYTE> buffer = Quelmar::BuildVolumeRulesBuffer(mode, map);
        ULONG_PTR information = 0;
        return standin::DeviceIoControl(control_, IOCTL_FILTER_SET_VOLUME_RULES, buffer.data(),
                                        static_cast<ULONG>(buffer.size()), nullptr, 0, &information);
    }

    static std::vector<std::pair<CString, LONG>> StoredRules()
    {
        std::vector<std::pair<CString, LONG>> rules;
        for (PLIST_ENTRY link = gVolumeRuleList.Flink; link != &gVolumeRuleList; link = link->Flink) {
            PVOLUME_RULE rule = CONTAINING_RECORD(link, VOLUME_RULE, Links);
            rules.emplace_back(CString(rule->VolumeName.Buffer, rule->VolumeName.Length / sizeof(WCHAR)), rule->State);
        }
        return rules;
    }

    void ExpectStoredAsSent(const char* name, LONG mode, const VolumePolicyMap& map)
    {
        ASSERT_EQ(STATUS_SUCCESS, Send(mode, map)) << name;
        EXPECT_EQ(mode, gFilterMode) << name;
        std::vector<std::pair<CString, LONG>> sent(map.begin(), map.end());
        EXPECT_EQ(sent, StoredRules()) << name;
    }

    PDRIVER_OBJECT driver_ = nullptr;
    standin::FileHandle control_;
};

CString Numbered(const WCHAR* prefix, int n)
{
    CString name(prefix);
    std::string digits = std::to_string(n);
    for (char ch : digits) {
        name += static_cast<WCHAR>(ch);
    }
    return name;
}

// A machine of internal volumes, sticks (some whitelisted), a card reader and child device
// objects, decided under every combination of the switches.
std::vector<std::pair<std::string, VolumePolicyMap>> DecidedTables(LONG& modeOut, int policy, int sd)
{
    QuelmarDecision thread;
    Quelmar::SettingV3 setting;
    setting.outsidePolicy = policy;
    setting.blockInternalSd = sd;
    setting.whitelist = {Entry(0x1234, 0x0001, _T(""), UseVendor | UseProduct, 0),
                         Entry(0x1234, 0x0002, _T(""), UseVendor | UseProduct, 2),
                         Entry(0x0411, 0x010C, _T(""), UseVendor | UseProduct, 0)};
    thread.TakeSetting(setting);
    for (int i = 0; i < 64; ++i) {
        CString device = Numbered(_T("\\Device\\HarddiskVolume"), i + 1);
        CString serial = Numbered(_T("SN"), i);
        if (i < 4) {
            thread.VolumeList().push_back(InternalVolume(device, i == 0 ? 'C' : 0));
        } else {
            thread.VolumeList().push_back(
                StickVolume(device, 'D' + (i % 22), serial, {_T("\\Device\\00000070")}));
            thread.VolumeList().back().childDeviceObjectNames.push_back(Numbered(_T("\\Device\\0000"), 100 + i));
            if (i % 2 == 0) {
                thread.UsbDeviceList().push_back(Stick(0x1234, static_cast<WORD>(i % 3), serial));
            } else if (i % 7 == 0) {
                thread.UsbDeviceList().push_back(Stick(0x0411, 0x010D, serial));
            }
        }
    }
    thread.SystemVolumeList().push_back(thread.VolumeList()[0]);
    thread.CardReaderVolumes().insert(_T("\\Device\\HarddiskVolume3"));
    modeOut = thread.NonWhitelistPolicy();
    VolumePolicyMap map;
    thread.ComputeVolumePolicy(map);
    return {{"decided machine policy " + std::to_string(policy) + " sd " + std::to_string(sd), map}};
}

TEST_F(RuleTableAtDriver, EveryDecidedTableIsStoredAsSent)
{
    for (int policy : {1, 2}) {
        for (int sd : {-1, 0, 1}) {
            LONG mode = 0;
            for (const auto& [name, map] : DecidedTables(mode, policy, sd)) {
                EXPECT_GT(map.size(), 64u);
                ExpectStoredAsSent(name.c_str(), mode, map);
            }
        }
    }
}

TEST_F(RuleTableAtDriver, SmallAndOddTablesAreStoredAsSent)
{
    const std::vector<std::pair<const char*, VolumePolicyMap>> tables = {
        {"one allowed", {{_T("\\Device\\HarddiskVolume1"), 0}}},
        {"one blocked", {{_T("\\Device\\HarddiskVolume5"), 1}}},
        {"one read-only", {{_T("\\Device\\HarddiskVolume5"), 2}}},
        {"sd switch never loaded", {{_T("\\Device\\HarddiskVolume7"), -1}}},
        {"name beyond Latin", {{_T("\\Device\\\x00c9\x4e2d\xd83d\xde00"), 1}}},
        {"one-letter name", {{_T("x"), 2}}},
    };
    for (const auto& [name, map] : tables) {
        ExpectStoredAsSent(name, 1, map);
        ExpectStoredAsSent(name, 2, map);
    }
}

TEST_F(RuleTableAtDriver, EmptyTableWithModeZeroIsEightBytesAndSwitchesFilteringOff)
{
    ExpectStoredAsSent("blocking", 1, {{_T("\\Device\\HarddiskVolume5"), 1}});
    const VolumePolicyMap empty;
    EXPECT_EQ(8u, Quelmar::BuildVolumeRulesBuffer(0, empty).size());
    ExpectStoredAsSent("empty", 0, empty);
    EXPECT_TRUE(StoredRules().empty());
}

TEST(RuleTableBytes, LayoutIsLittleEndianAndPacked)
{
    const VolumePolicyMap map = {{_T("\\D\\b"), 2}, {_T("\\D\\A"), -1}};
    const std::vector<BYTE> expected = {
        0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,                          // mode 2, two entries
        0x08, 0x00, 0x00, 0x00, '\\', 0, 'D', 0, '\\', 0, 'A', 0, 0xFF, 0xFF, 0xFF, 0xFF,  // "\D\A" first
        0x08, 0x00, 0x00, 0x00, '\\', 0, 'D', 0, '\\', 0, 'b', 0, 0x02, 0x00, 0x00, 0x00,
    };
    EXPECT_EQ(expected, Quelmar::BuildVolumeRulesBuffer(2, map));
}

}  // namespace
}  // namespace servicetest
