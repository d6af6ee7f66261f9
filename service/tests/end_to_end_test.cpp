// From a plugged stick to a refused write, in one process: the simulated PC answers the
// service's volume and storage calls, the decision runs, the table goes through
// "\\.\QEVRINd" into the filter driver's own code on the kernel stand-in, and ordinary
// processes meet on each volume what the whitelist and the switches require.
#include "service/core/ServiceCore.h"
#include "service/tests/DecisionValues.h"
#include "service/tests/EnforcementPass.h"
#include "service/volumes/StorageQuery.h"
#include "testbed/bridge/KernelBridge.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace servicetest {
namespace {

using namespace Quelmar;

const uint32_t kOrdinaryProcess = 4321;
const int32_t kPathNotFound = static_cast<int32_t>(0xC000003A);
const int32_t kWriteProtected = static_cast<int32_t>(0xC00000A2);

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Windows on disk 0 (C: and a recovery partition), a data disk D:, an SD card reader G: and
// three sticks: E: whitelisted with full access, F: whitelisted read-only, H: unknown.
struct WorkstationPc {
    testbed::Machine pc;
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    testbed::DeviceNode& dataDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_DATA\\4&1A&0&010000");
    testbed::DeviceNode& cardDisk = pc.AddNode(pc.Root(), L"SD\\DISK&GENERIC&SD\\5&2B&0&0");
    testbed::Volume& windows = pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED);
    testbed::Volume& recovery = pc.AddVolume(&systemDisk, 0, DRIVE_FIXED);
    testbed::Volume& data = pc.AddVolume(&dataDisk, L'D', DRIVE_FIXED);
    testbed::Volume& card = pc.AddVolume(&cardDisk, L'G', DRIVE_REMOVABLE);
    testbed::UsbHub& hub = pc.AddHostController().RootHub();
    testbed::UsbDevice& fullStick = hub.Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"FULL01"));
    testbed::Volume& full = pc.AddVolume(fullStick.Disk(), L'E');
    testbed::UsbDevice& readOnlyStick = hub.Plug(2, testbed::UsbStick(0x0411, 0x010D, L"Buffalo", L"RUF", L"RO02"));
    testbed::Volume& readOnly = pc.AddVolume(readOnlyStick.Disk(), L'F');
    testbed::UsbDevice* unknownStick = nullptr;
    testbed::Volume* unknown = nullptr;

    WorkstationPc()
    {
        pc.windowsFolder = L"C:\\Windows";
        pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
        card.storage.busType = BusTypeSd;
    }

    testbed::Volume& PlugUnknownStick()
    {
        unknownStick = &hub.Plug(3, testbed::UsbStick(0x090C, 0x1000, L"Generic", L"Flash", L"UNKNOWN03"));
        unknown = &pc.AddVolume(unknownStick->Disk(), L'H');
        return *unknown;
    }
};

SettingV3 WorkstationSetting(int outsidePolicy, int blockInternalSd)
{
    SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = outsidePolicy;
    setting.blockInternalSd = blockInternalSd;
    WhitelistEntry full = Entry(0x0781, 0x5567, _T("FULL01"), UseVendor | UseProduct | UseSerial, 0);
    // Written for the twin product id: the stick's 0x010D matches it as well.
    WhitelistEntry readOnly = Entry(0x0411, 0x010C, _T("RO02"), UseVendor | UseProduct | UseSerial, 2);
    full.serialNumber = _T("FULL01");
    readOnly.serialNumber = _T("RO02");
    setting.whitelist = {full, readOnly};
    return setting;
}

class EndToEnd : public ::testing::Test {
protected:
    void TearDown() override
    {
        DriverControl::DeleteInstance();
        for (const std::string& violation : bridge_->Kernel().Violations())
            ADD_FAILURE() << "kernel rule broken: " << violation;
        bridge_.reset();
        for (const std::string& leak : bridge::KernelPc::LeaksOfLastKernel())
            ADD_FAILURE() << "leak: " << leak;
        EXPECT_EQ(0u, pc_.pc.OpenHandleCount());
    }

    void Start(int outsidePolicy, int blockInternalSd)
    {
        bridge_.reset(new testbed::KernelBridge(pc_.pc));
        ASSERT_TRUE(bridge_->Kernel().FilterLoaded());
        ASSERT_TRUE(DriverControl::GetInstance()->Open(1000));
        thread_.TakeSetting(WorkstationSetting(outsidePolicy, blockInternalSd));
        BuildSystemVolumeList(thread_.SystemVolumeList());
    }

    BOOL Pass() { return RunPass(thread_); }

    void ExpectAccess(const testbed::Volume& volume, uint32_t process, int state)
    {
        bridge::AccessProbe probe = bridge_->Kernel().Probe(volume.deviceName, process);
        const std::string name = Narrow(volume.deviceName) + " state " + std::to_string(state);
        switch (state) {
        case 0:
            EXPECT_EQ(0, probe.create) << name;
            EXPECT_EQ(0, probe.openForWriting) << name;
            EXPECT_EQ(0, probe.write) << name;
            EXPECT_EQ(0, probe.rename) << name;
            EXPECT_EQ(0, probe.query) << name;
            EXPECT_FALSE(probe.readOnlyVolume) << name;
            break;
        case 1:
            EXPECT_EQ(kPathNotFound, probe.create) << name;
            EXPECT_EQ(kPathNotFound, probe.openForWriting) << name;
            EXPECT_EQ(kPathNotFound, probe.open) << name;
            break;
        case 2:
            EXPECT_EQ(kWriteProtected, probe.create) << name;
            // A writable open would let a mapping change the file later.
            EXPECT_EQ(kWriteProtected, probe.openForWriting) << name;
            EXPECT_EQ(0, probe.open) << name;
            EXPECT_EQ(kWriteProtected, probe.write) << name;
            EXPECT_EQ(kWriteProtected, probe.rename) << name;
            EXPECT_EQ(0, probe.query) << name;
            EXPECT_TRUE(probe.readOnlyVolume) << name;
            break;
        default:
            ADD_FAILURE() << "no such state " << state;
        }
    }

    int DriverState(const testbed::Volume& volume)
    {
        int32_t state = -1;
        EXPECT_TRUE(bridge_->Kernel().DriverRule(volume.deviceName, &state)) << Narrow(volume.deviceName);
        return state;
    }

    WorkstationPc pc_;
    std::unique_ptr<testbed::KernelBridge> bridge_;
    QuelmarDecision thread_;
};

TEST_F(EndToEnd, PluggedUnknownStickIsBlockedAndTheWhitelistHolds)
{
    Start(1, 1);
    ASSERT_TRUE(Pass());
    testbed::Volume& unknown = pc_.PlugUnknownStick();
    bridge_->AddKernelVolume(unknown);
    ASSERT_TRUE(Pass());

    const struct {
        const testbed::Volume* volume;
        int state;
    } expected[] = {{&pc_.windows, 0}, {&pc_.recovery, 0}, {&pc_.data, 0}, {&pc_.card, 1},
                    {&pc_.full, 0},    {&pc_.readOnly, 2}, {&unknown, 1}};
    for (const auto& e : expected) {
        EXPECT_EQ(e.state, DriverState(*e.volume)) << Narrow(e.volume->deviceName);
        ExpectAccess(*e.volume, kOrdinaryProcess, e.state);
    }
    EXPECT_EQ(1, thread_.NonWhitelistPolicy());
}

TEST_F(EndToEnd, ReadOnlyPolicyAndSdSwitchOff)
{
    pc_.PlugUnknownStick();
    Start(2, 0);
    ASSERT_TRUE(Pass());
    const struct {
        const testbed::Volume* volume;
        int state;
    } expected[] = {{&pc_.windows, 0}, {&pc_.data, 0}, {&pc_.card, 0}, {&pc_.full, 0}, {&pc_.readOnly, 2},
                    {pc_.unknown, 2}};
    for (const auto& e : expected)
        ExpectAccess(*e.volume, kOrdinaryProcess, e.state);
}

// Every partition of a stick is the stick's: a second partition that lost its tie to the
// stick would count as not USB and pass. The Windows disk's partitions pass alike.
TEST_F(EndToEnd, EveryPartitionOfAStickTakesTheStickState)
{
    testbed::Volume& unknown = pc_.PlugUnknownStick();
    testbed::Volume& unknownSecond = pc_.pc.AddVolume(pc_.unknownStick->Disk(), L'I');
    testbed::Volume& readOnlySecond = pc_.pc.AddVolume(pc_.readOnlyStick.Disk(), L'J');
    Start(1, 0);
    ASSERT_TRUE(Pass());
    const struct {
        const testbed::Volume* volume;
        int state;
    } expected[] = {{&unknown, 1},          {&unknownSecond, 1}, {&pc_.readOnly, 2}, {&readOnlySecond, 2},
                    {&pc_.windows, 0},      {&pc_.recovery, 0},  {&pc_.full, 0}};
    for (const auto& e : expected) {
        EXPECT_EQ(e.state, DriverState(*e.volume)) << Narrow(e.volume->deviceName);
        ExpectAccess(*e.volume, kOrdinaryProcess, e.state);
    }
}

TEST_F(EndToEnd, ServiceProcessPassesOnlyWhileExempt)
{
    pc_.PlugUnknownStick();
    Start(1, 1);
    ASSERT_TRUE(Pass());
    const uint32_t service = GetCurrentProcessId();
    ExpectAccess(*pc_.unknown, service, 1);
    ASSERT_TRUE(DriverControl::GetInstance()->AddExemptProcess(service));
    ExpectAccess(*pc_.unknown, service, 0);
    ExpectAccess(pc_.readOnly, service, 0);
    ExpectAccess(*pc_.unknown, kOrdinaryProcess, 1);
    ASSERT_TRUE(DriverControl::GetInstance()->RemoveExemptProcess(service));
    ExpectAccess(*pc_.unknown, service, 1);
}

TEST_F(EndToEnd, SameTableTwiceIsSentOnce)
{
    Start(1, 1);
    EXPECT_TRUE(Pass());
    EXPECT_FALSE(Pass());
    pc_.PlugUnknownStick();
    bridge_->AddKernelVolume(*pc_.unknown);
    EXPECT_TRUE(Pass());
    EXPECT_FALSE(Pass());
}

TEST_F(EndToEnd, ModeChangeAloneIsNeverSent)
{
    // No USB volume without an entry: a new non-whitelist policy changes no state.
    Start(1, 1);
    ASSERT_TRUE(Pass());
    thread_.TakeSetting(WorkstationSetting(2, 1));
    EXPECT_FALSE(Pass());
    EXPECT_EQ(1, bridge_->Kernel().DriverMode());
}

TEST_F(EndToEnd, FailedSendIsSentAgainOnTheNextPass)
{
    pc_.PlugUnknownStick();
    Start(1, 1);
    DriverControl::GetInstance()->Close();
    EXPECT_FALSE(Pass());
    EXPECT_TRUE(thread_.SentMap().empty());
    ExpectAccess(*pc_.unknown, kOrdinaryProcess, 0);
    ASSERT_TRUE(DriverControl::GetInstance()->Open(1000));
    EXPECT_TRUE(Pass());
    ExpectAccess(*pc_.unknown, kOrdinaryProcess, 1);
}

TEST_F(EndToEnd, DriverVersionIsCheckedAndTheDeviceLeftFree)
{
    Start(1, 1);
    DriverControl::DeleteInstance();
    ServiceCore* core = ServiceCore::CreateInstance();
    ASSERT_NE(nullptr, core);
    EXPECT_TRUE(core->CheckDriver());
    ServiceCore::DeleteInstance();
    // The check closed its handle: the driver's one open is free again.
    EXPECT_TRUE(DriverControl::GetInstance()->Open(0));
}

TEST_F(EndToEnd, OpenKeepsTryingAcrossTheTickCountWrap)
{
    Start(1, 1);
    DriverControl::GetInstance()->Close();
    // Another program holds the device and lets it go after a while; the tick count wraps
    // meanwhile.
    HANDLE held = CreateFileW(L"\\\\.\\QEVRINd", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    pc_.pc.tickCountOffset = 0xFFFFFFF0u - GetTickCount();
    std::thread release([held] {
        Sleep(100);
        CloseHandle(held);
    });
    const BOOL opened = DriverControl::GetInstance()->Open(2000);
    release.join();
    EXPECT_TRUE(opened);
}

}  // namespace
}  // namespace servicetest
