// Showing a new per-volume table to Explorer on the simulated PC: which device nodes are
// restarted and which drive letters the remounter gets, per Windows version, both from hand-
// made tables and after a whitelist change that went through the driver.
#include "service/remount/DriveRemount.h"
#include "service/tests/DecisionValues.h"
#include "service/tests/EnforcementPass.h"
#include "service/volumes/StorageQuery.h"
#include "testbed/bridge/KernelBridge.h"
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Machine.h"
#include "testbed/machine/Sessions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace servicetest {
namespace {

using namespace Quelmar;

const wchar_t kRemounter[] = L"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe";
const wchar_t kStick[] = L"\\Device\\HarddiskVolume7";
const wchar_t kCard[] = L"\\Device\\HarddiskVolume8";
const wchar_t kHidden[] = L"\\Device\\HarddiskVolume9";

// Three volume nodes the tables name (a stick E:, a card G:, a letter-less partition), the
// service installed under a folder with a blank and alice at the console in session 1.
class DriveRemount : public ::testing::Test {
protected:
    DriveRemount()
    {
        pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
        pc.sleepAdvancesClock = true;
        sessions.AddSession(0, nullptr);
        sessions.AddSession(1, &alice);
        sessions.SetConsoleSession(1);
        drives = {Record(L"\\Device\\HarddiskVolume1", L'C', systemNode), Record(kStick, L'E', stickNode),
                  Record(kCard, L'G', cardNode), Record(kHidden, 0, hiddenNode)};
    }

    static VolumeRecord Record(const wchar_t* deviceName, LONG letter, const testbed::DeviceNode& node)
    {
        VolumeRecord record;
        record.deviceName = deviceName;
        record.driveLetter = letter;
        record.devNode = node.Handle();
        return record;
    }

    // The restarts the class installer was asked for on the node; every one must be a global
    // property change.
    size_t Restarts(const testbed::DeviceNode& node)
    {
        std::vector<testbed::InstallerAction> actions = pc.Installer().Actions(node);
        for (const testbed::InstallerAction& action : actions) {
            EXPECT_EQ(action.stateChange, DWORD(DICS_PROPCHANGE));
            EXPECT_EQ(action.scope, DWORD(DICS_FLAG_GLOBAL));
        }
        return actions.size();
    }

    // The remounter's drive letters, or "-" when it was not started.
    std::wstring RemounterLetters()
    {
        std::vector<testbed::Launch> launches = sessions.Launches();
        if (launches.empty())
            return L"-";
        EXPECT_EQ(launches.size(), 1u);
        EXPECT_EQ(launches[0].applicationName, kRemounter);
        const std::wstring head = std::wstring(L"\"") + kRemounter + L"\" ";
        EXPECT_EQ(launches[0].commandLine.compare(0, head.size(), head), 0) << launches[0].commandLine.c_str();
        EXPECT_EQ(launches[0].sessionId, 1u);
        return launches[0].commandLine.substr(head.size());
    }

    testbed::Machine pc;
    testbed::UserSessions& sessions = pc.Sessions();
    testbed::SimulatedUser& alice = sessions.AddUser(L"OFFICE", L"alice");
    testbed::DeviceNode& systemNode = pc.AddNode(pc.Root(), L"STORAGE\\VOLUME\\SYSTEM");
    testbed::DeviceNode& stickNode = pc.AddNode(pc.Root(), L"STORAGE\\VOLUME\\STICK");
    testbed::DeviceNode& cardNode = pc.AddNode(pc.Root(), L"STORAGE\\VOLUME\\CARD");
    testbed::DeviceNode& hiddenNode = pc.AddNode(pc.Root(), L"STORAGE\\VOLUME\\HIDDEN");
    std::vector<VolumeRecord> drives;
};

TEST_F(DriveRemount, ArgumentHoldsTheLettersOfVolumesWhoseStateChanged)
{
    const struct {
        const char* name;
        VolumePolicyMap newMap;
        VolumePolicyMap oldMap;
        const wchar_t* letters;   // null: no argument
    } cases[] = {
        {"allowed to blocked and read-only to allowed", {{kStick, 1}, {kCard, 0}}, {{kStick, 0}, {kCard, 2}}, L"EG"},
        {"new volume adds nothing", {{kStick, 2}}, {}, nullptr},
        {"unchanged volume adds nothing", {{kStick, 2}, {kCard, 1}}, {{kStick, 2}, {kCard, 0}}, L"G"},
        {"volume without a letter adds nothing", {{kHidden, 2}}, {{kHidden, 0}}, nullptr},
        {"name matched without regard to case", {{L"\\DEVICE\\HARDDISKVOLUME7", 2}}, {{L"\\DEVICE\\HARDDISKVOLUME7", 0}}, L"E"},
        {"volume of no drive record adds nothing", {{L"\\Device\\HarddiskVolume99", 2}}, {{L"\\Device\\HarddiskVolume99", 0}}, nullptr},
    };
    for (const auto& c : cases) {
        RemountArgument argument = L"stale";
        BOOL built = BuildRemountArgument(c.newMap, c.oldMap, drives, argument);
        EXPECT_EQ(built, c.letters != nullptr ? TRUE : FALSE) << c.name;
        EXPECT_EQ(std::wstring(argument.GetString()), c.letters != nullptr ? c.letters : L"") << c.name;
    }
    RemountArgument argument = L"stale";
    EXPECT_FALSE(BuildRemountArgument({{kStick, 1}}, {{kStick, 0}}, {}, argument));
    EXPECT_TRUE(argument.IsEmpty());
}

TEST_F(DriveRemount, EachWindowsVersionRestartsOrStartsTheRemounterAsItNeeds)
{
    // E: read-only to allowed, G: allowed to blocked, the partition allowed to read-only.
    const VolumePolicyMap oldMap = {{kStick, 2}, {kCard, 0}, {kHidden, 0}};
    const VolumePolicyMap newMap = {{kStick, 0}, {kCard, 1}, {kHidden, 2}};
    const struct {
        DWORD major, minor;
        size_t stickRestarts, hiddenRestarts;
        const wchar_t* letters;
    } cases[] = {
        {5, 1, 0, 0, L"-"}, {5, 2, 0, 0, L"-"}, {6, 0, 0, 0, L"EG"},
        {6, 1, 1, 1, L"-"}, {6, 2, 1, 1, L"EG"}, {10, 0, 1, 1, L"EG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        pc.SetWindowsVersion(c.major, c.minor);
        const size_t stickBefore = Restarts(stickNode), hiddenBefore = Restarts(hiddenNode);
        const size_t launchesBefore = sessions.Launches().size();
        RemountChangedDrives(newMap, oldMap, drives);
        EXPECT_EQ(Restarts(stickNode) - stickBefore, c.stickRestarts);
        EXPECT_EQ(Restarts(hiddenNode) - hiddenBefore, c.hiddenRestarts);
        // The card became blocked: the driver already fails every request on it.
        EXPECT_EQ(Restarts(cardNode), 0u);
        EXPECT_EQ(Restarts(systemNode), 0u);
        std::vector<testbed::Launch> launches = sessions.Launches();
        std::wstring letters = L"-";
        if (launches.size() > launchesBefore) {
            EXPECT_EQ(launches.size(), launchesBefore + 1);
            letters = launches.back().commandLine.substr(std::wstring(kRemounter).size() + 3);
            EXPECT_EQ(launches.back().applicationName, kRemounter);
        }
        EXPECT_EQ(letters, c.letters);
    }
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST_F(DriveRemount, NewVolumeIsRestartedButNotGivenToTheRemounter)
{
    pc.SetWindowsVersion(6, 2);
    RemountChangedDrives({{kStick, 2}, {kCard, 0}}, {}, drives);
    EXPECT_EQ(Restarts(stickNode), 1u);
    EXPECT_EQ(Restarts(cardNode), 0u);   // new and allowed: nothing changed for it
    EXPECT_EQ(RemounterLetters(), L"-");
}

TEST_F(DriveRemount, NothingChangedOrNoDrivesStartsNothing)
{
    pc.SetWindowsVersion(6, 2);
    RemountChangedDrives({{kStick, 2}, {kCard, 1}}, {{kStick, 2}, {kCard, 1}}, drives);
    RemountChangedDrives({{kStick, 2}, {kCard, 1}}, {{kStick, 0}, {kCard, 0}}, {});
    EXPECT_EQ(pc.Installer().ActionCount(), 0u);
    EXPECT_EQ(RemounterLetters(), L"-");
}

TEST_F(DriveRemount, NodeThatFailsToRestartDoesNotStopTheOthers)
{
    pc.SetWindowsVersion(6, 2);
    pc.Installer().FailNext(stickNode);
    RemountChangedDrives({{kStick, 0}, {kHidden, 2}}, {{kStick, 2}, {kHidden, 0}}, drives);
    ASSERT_EQ(Restarts(stickNode), 1u);
    EXPECT_FALSE(pc.Installer().Actions(stickNode)[0].succeeded);
    EXPECT_EQ(Restarts(hiddenNode), 1u);
    EXPECT_EQ(RemounterLetters(), L"E");
}

TEST_F(DriveRemount, StopReleasesBlockedAndReadOnlyVolumes)
{
    pc.SetWindowsVersion(6, 2);
    RemountAfterStop({{L"\\Device\\HarddiskVolume1", 0}, {kStick, 2}, {kCard, 1}, {kHidden, 2}}, drives);
    EXPECT_EQ(Restarts(systemNode), 0u);
    EXPECT_EQ(Restarts(stickNode), 1u);
    EXPECT_EQ(Restarts(cardNode), 1u);
    EXPECT_EQ(Restarts(hiddenNode), 1u);
    EXPECT_EQ(RemounterLetters(), L"EG");
}

TEST_F(DriveRemount, NobodyAtTheConsoleGetsNoRemounterButTheRestartsHappen)
{
    pc.SetWindowsVersion(6, 2);
    sessions.SetConsoleSession(testbed::kNoConsoleSession);
    RemountChangedDrives({{kStick, 2}}, {{kStick, 0}}, drives);
    EXPECT_EQ(Restarts(stickNode), 1u);
    EXPECT_EQ(RemounterLetters(), L"-");
}

// A whitelist change makes the stick E: read-only; the table goes through the driver and the
// service's own decision asks for the remount.
class RemountAfterWhitelistChange : public ::testing::Test {
protected:
    RemountAfterWhitelistChange()
    {
        pc.windowsFolder = L"C:\\Windows";
        pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
        pc.sleepAdvancesClock = true;
        sessions.AddSession(0, nullptr);
        sessions.AddSession(1, &alice);
        sessions.SetConsoleSession(1);
    }

    void TearDown() override
    {
        DriverControl::DeleteInstance();
        bridge_.reset();
        EXPECT_EQ(0u, pc.OpenHandleCount());
    }

    static SettingV3 StickSetting(LONG attribute)
    {
        SettingV3 setting;
        setting.usbControlEnabled = 1;
        setting.outsidePolicy = 1;
        setting.blockInternalSd = 1;
        WhitelistEntry entry = Entry(0x0781, 0x5567, _T("FULL01"), UseVendor | UseProduct | UseSerial, attribute);
        entry.serialNumber = _T("FULL01");
        setting.whitelist = {entry};
        return setting;
    }

    // The stick whitelisted with full access is in force; then the entry turns read-only.
    void ChangeStickToReadOnly(DWORD major, DWORD minor)
    {
        pc.SetWindowsVersion(major, minor);
        bridge_.reset(new testbed::KernelBridge(pc));
        ASSERT_TRUE(bridge_->Kernel().FilterLoaded());
        ASSERT_TRUE(DriverControl::GetInstance()->Open(1000));
        decision_.TakeSetting(StickSetting(0));
        BuildSystemVolumeList(decision_.SystemVolumeList());
        ASSERT_TRUE(RunPass(decision_));
        ASSERT_EQ(pc.Installer().ActionCount(), 0u);
        ASSERT_TRUE(sessions.Launches().empty());
        decision_.TakeSetting(StickSetting(2));
        ASSERT_TRUE(RunPass(decision_));
    }

    std::vector<testbed::InstallerAction> StickActions() { return pc.Installer().Actions(*stickVolume.node); }

    testbed::Machine pc;
    testbed::UserSessions& sessions = pc.Sessions();
    testbed::SimulatedUser& alice = sessions.AddUser(L"OFFICE", L"alice");
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    testbed::Volume& windows = pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED);
    testbed::UsbDevice& stick = pc.AddHostController().RootHub().Plug(
        1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"FULL01"));
    testbed::Volume& stickVolume = pc.AddVolume(stick.Disk(), L'E');
    std::unique_ptr<testbed::KernelBridge> bridge_;
    QuelmarDecision decision_;
};

TEST_F(RemountAfterWhitelistChange, Windows8RestartsTheStickAndStartsTheRemounterForE)
{
    ASSERT_NO_FATAL_FAILURE(ChangeStickToReadOnly(6, 2));
    std::vector<testbed::InstallerAction> actions = StickActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].stateChange, DWORD(DICS_PROPCHANGE));
    EXPECT_EQ(actions[0].scope, DWORD(DICS_FLAG_GLOBAL));
    EXPECT_EQ(pc.Installer().ActionCount(), 1u);
    std::vector<testbed::Launch> launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_TRUE(launches[0].hasApplicationName);
    EXPECT_EQ(launches[0].applicationName, kRemounter);
    EXPECT_EQ(launches[0].commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" E");
    EXPECT_EQ(launches[0].sessionId, 1u);
    EXPECT_EQ(launches[0].user, L"OFFICE\\alice");
}

TEST_F(RemountAfterWhitelistChange, Windows7OnlyRestartsTheStick)
{
    ASSERT_NO_FATAL_FAILURE(ChangeStickToReadOnly(6, 1));
    EXPECT_EQ(StickActions().size(), 1u);
    EXPECT_EQ(pc.Installer().ActionCount(), 1u);
    EXPECT_TRUE(sessions.Launches().empty());
}

TEST_F(RemountAfterWhitelistChange, VistaOnlyStartsTheRemounter)
{
    ASSERT_NO_FATAL_FAILURE(ChangeStickToReadOnly(6, 0));
    EXPECT_EQ(pc.Installer().ActionCount(), 0u);
    std::vector<testbed::Launch> launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" E");
}

TEST_F(RemountAfterWhitelistChange, XpDoesNothing)
{
    ASSERT_NO_FATAL_FAILURE(ChangeStickToReadOnly(5, 1));
    EXPECT_EQ(pc.Installer().ActionCount(), 0u);
    EXPECT_TRUE(sessions.Launches().empty());
}

TEST_F(RemountAfterWhitelistChange, NoConsoleUserMeansNoRemounter)
{
    sessions.SetConsoleSession(testbed::kNoConsoleSession);
    ASSERT_NO_FATAL_FAILURE(ChangeStickToReadOnly(6, 2));
    EXPECT_EQ(StickActions().size(), 1u);
    EXPECT_TRUE(sessions.Launches().empty());
}

}  // namespace
}  // namespace servicetest
