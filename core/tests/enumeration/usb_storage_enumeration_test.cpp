#include "core/usb/UsbDeviceEnumerator.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testbed::UsbStick;

std::wstring W(const CString& text) { return text.GetString(); }

std::vector<UsbStorageDevice> Enumerate(DWORD mask = UsbDeviceEnumerator::INFO_ALL, DWORD options = 0)
{
    std::vector<UsbStorageDevice> devices;
    UsbDeviceEnumerator enumerator(devices);
    enumerator.SetInfoMask(mask);
    enumerator.SetOptions(options);
    enumerator.Walk();
    return devices;
}

std::vector<std::wstring> TreeIds(const UsbStorageDevice& device)
{
    std::vector<std::wstring> ids;
    for (auto it = device.tree.Begin(); it != device.tree.End(); ++it)
        ids.push_back(W(it->info.instanceId));
    return ids;
}

// One stick with one volume at E: on the first port of a root hub, on Windows 8.1.
struct OneStickOnRootHub {
    explicit OneStickOnRootHub(DWORD minor = 3) { pc.SetWindowsVersion(6, minor); }
    testbed::Machine pc;
    testbed::UsbHub& root = pc.AddHostController(4).RootHub();
    testbed::UsbDevice& stick = root.Plug(1, UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"4C530001"));
    testbed::Volume& volume = pc.AddVolume(stick.Disk(), L'E');
};

TEST(UsbDeviceEnumerator, ListsAStickWithIdentityAndNodeTreeDownToItsVolume)
{
    OneStickOnRootHub machine;
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 1u);
    const UsbStorageDevice& stick = devices[0];
    EXPECT_EQ(stick.vendorId, 0x0781);
    EXPECT_EQ(stick.productId, 0x5567);
    EXPECT_EQ(W(stick.manufacturer), L"SanDisk");
    EXPECT_EQ(W(stick.product), L"Cruzer");
    EXPECT_EQ(W(stick.serialNumber), L"4C530001");
    // The device, its disk, and the disk's volume found through its removal relations.
    EXPECT_EQ(TreeIds(stick), (std::vector<std::wstring>{machine.stick.Node()->InstanceId(), machine.stick.Disk()->InstanceId(),
                                                         machine.volume.node->InstanceId()}));
    auto volume = stick.tree.Begin();
    ++volume;
    ++volume;
    EXPECT_EQ(volume->info.driveLetter, L'E');
    EXPECT_EQ(volume->depth, 2);
    EXPECT_EQ(W(volume->info.deviceObjectName), machine.volume.deviceName);
    EXPECT_EQ(W(stick.tree.Root()->firstChild->info.friendlyName), L"SanDisk Cruzer USB Device");
    EXPECT_TRUE(stick.tree.HasVolume());
    EXPECT_EQ(machine.volume.freeSpaceProbes, 0u);  // strings read at once: no drive touched
    EXPECT_EQ(machine.pc.OpenHandleCount(), 0u);
}

TEST(UsbDeviceEnumerator, DeviceWithoutStringIndexesIsReadWithoutAnyStringRequest)
{
    OneStickOnRootHub machine;
    testbed::UsbDevice& plain = machine.root.Plug(2, UsbStick(0x1234, 0x0001, L"", L"", L""));
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].vendorId, 0x1234);
    EXPECT_TRUE(devices[1].manufacturer.IsEmpty());
    EXPECT_TRUE(devices[1].product.IsEmpty());
    EXPECT_TRUE(devices[1].serialNumber.IsEmpty());
    EXPECT_EQ(plain.StringRequests(), 0u);
}

TEST(UsbDeviceEnumerator, SleepingStickIsWokenThroughItsDriveOnWindows81)
{
    OneStickOnRootHub machine;
    machine.stick.Sleep();
    UINT processMode = GetErrorMode();
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(W(devices[0].product), L"Cruzer");
    EXPECT_EQ(machine.volume.freeSpaceProbes, 1u);
    // Only the walking thread stops critical-error dialogs; the process keeps its mode.
    EXPECT_TRUE(machine.volume.probeThreadErrorMode & SEM_FAILCRITICALERRORS);
    EXPECT_EQ(machine.volume.probeProcessErrorMode, processMode);
    EXPECT_EQ(GetErrorMode(), processMode);
    EXPECT_FALSE(testbed::ThreadErrorMode() & SEM_FAILCRITICALERRORS);
}

TEST(UsbDeviceEnumerator, DriveLettersOffBeforeWindows81YetNodesStillGetTheirLetters)
{
    OneStickOnRootHub machine(2);
    machine.stick.Sleep();
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(machine.volume.freeSpaceProbes, 0u);       // no drive is touched for a retry
    EXPECT_TRUE(devices[0].product.IsEmpty());
    EXPECT_EQ(W(devices[0].serialNumber), L"4C530001");  // from the instance id instead
    EXPECT_TRUE(devices[0].tree.HasVolume());             // the default mask's volume pass
}

TEST(UsbDeviceEnumerator, SerialFromAnInstanceIdWithAmpersandsIsEmpty)
{
    OneStickOnRootHub machine(1);
    testbed::UsbDeviceSpec spec = UsbStick(0x0781, 0x5567, L"M", L"P", L"S1");
    spec.instanceId = L"USB\\VID_0781&PID_5567\\5&1D7BD3A0&0&2";
    machine.root.Plug(2, spec).ReplyToString(0, {{}, 0, ERROR_GEN_FAILURE});
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(devices[1].serialNumber.IsEmpty());
}

// A serial-number reply that is malformed or fails counts as not read: the drive is woken
// for a second try and, when that fails too, the serial comes from the instance id, so that
// whitelist entries written for the serial still match the stick.
TEST(UsbDeviceEnumerator, UnreadableSerialFallsBackToTheInstanceId)
{
    struct Case {
        const char* what;
        BYTE index;
        testbed::UsbRawReply reply;
    } cases[] = {
        {"odd bLength", 3, {{7, 3, 'A', 0, 'B', 0, 'C'}, 12 + 7, 0}},
        {"wrong type", 3, {{6, 1, 'A', 0, 'B', 0}, 12 + 6, 0}},
        {"count beyond bLength", 3, {{6, 3, 'A', 0, 'B', 0}, 12 + 8, 0}},
        {"failed request", 3, {{}, 0, ERROR_GEN_FAILURE}},
        {"malformed language list", 0, {{3, 3, 9}, 12 + 3, 0}},
    };
    for (const Case& c : cases) {
        OneStickOnRootHub machine;
        machine.stick.ReplyToString(c.index, c.reply);
        std::vector<UsbStorageDevice> devices = Enumerate();

        ASSERT_EQ(devices.size(), 1u) << c.what;
        EXPECT_EQ(W(devices[0].serialNumber), L"4C530001") << c.what;
        EXPECT_EQ(machine.volume.freeSpaceProbes, 1u) << c.what;  // the retry through the drive
        if (c.index == 3) {
            EXPECT_EQ(W(devices[0].product), L"Cruzer") << c.what;
        }
    }
}

// The drivers' byte count for name replies does not decide whether a device is found: were
// its driver key misread, the stick would have no node and its volumes would pass as not USB.
TEST(UsbDeviceEnumerator, FindsTheStickWhateverByteCountNameRepliesReport)
{
    for (auto count : {testbed::Machine::NameByteCount::WholeReply, testbed::Machine::NameByteCount::FixedPart}) {
        OneStickOnRootHub machine;
        machine.pc.nameByteCount = count;
        testbed::UsbHub& hub = machine.root.PlugHub(2, 4);
        hub.Plug(3, UsbStick(0x4444, 2, L"Behind", L"Hub", L"H1"));
        std::vector<UsbStorageDevice> devices = Enumerate();

        ASSERT_EQ(devices.size(), 2u);
        EXPECT_EQ(TreeIds(devices[0]), (std::vector<std::wstring>{machine.stick.Node()->InstanceId(),
                                                                  machine.stick.Disk()->InstanceId(),
                                                                  machine.volume.node->InstanceId()}));
        EXPECT_EQ(devices[1].vendorId, 0x4444);
        EXPECT_TRUE(devices[0].tree.HasVolume());
    }
}

TEST(UsbDeviceEnumerator, DeviceWithoutDriverKeyIsNotListed)
{
    OneStickOnRootHub machine;
    testbed::UsbDeviceSpec spec = UsbStick(0x1111, 1, L"No", L"Driver", L"X");
    spec.hasDriverKey = false;
    machine.root.Plug(2, spec);
    std::vector<UsbStorageDevice> devices = Enumerate();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendorId, 0x0781);
}

TEST(UsbDeviceEnumerator, DeviceWhoseNodeIsNotFoundIsDropped)
{
    OneStickOnRootHub machine;
    // A volume that no interface ties to a device: its instance id is empty.
    machine.pc.AddVolumeWithoutInterface(L'C', DRIVE_FIXED);
    machine.root.Plug(2, UsbStick(0x2222, 1, L"Gone", L"Node", L"Y")).SetDriverKey(L"{36fc9e60-c465-11cf-8056-444553540000}\\9999");
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendorId, 0x0781);
    for (auto it = devices[0].tree.Begin(); it != devices[0].tree.End(); ++it)
        EXPECT_NE(it->info.driveLetter, L'C');
}

TEST(UsbDeviceEnumerator, OnlyDevicesWithADriveLetterWhenAsked)
{
    OneStickOnRootHub machine;
    testbed::UsbDevice& unlettered = machine.root.Plug(2, UsbStick(0x3333, 1, L"No", L"Letter", L"Z"));
    machine.pc.AddVolume(unlettered.Disk(), 0);
    machine.root.Plug(3, [] { auto mouse = UsbStick(0x046D, 0xC077, L"Logitech", L"Mouse", L""); mouse.storage = false; mouse.service = L"HidUsb"; return mouse; }());

    EXPECT_EQ(Enumerate().size(), 3u);  // every connected device, storage or not
    std::vector<UsbStorageDevice> lettered = Enumerate(UsbDeviceEnumerator::INFO_ALL, UsbDeviceEnumerator::OPTION_ONLY_WITH_DRIVE_LETTER);
    ASSERT_EQ(lettered.size(), 1u);
    EXPECT_EQ(lettered[0].vendorId, 0x0781);
}

TEST(UsbDeviceEnumerator, RemovalRelationsThatFormACycleAreWalkedOnce)
{
    OneStickOnRootHub machine;
    machine.volume.node->AddRemovalRelation(*machine.stick.Disk());
    machine.volume.node->AddRemovalRelation(*machine.stick.Node());
    std::vector<UsbStorageDevice> devices = Enumerate();

    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].tree.Size(), 3u);
}

TEST(UsbDeviceEnumerator, TwoWalksGiveEqualListsAndPlugChangesShowInTheNext)
{
    OneStickOnRootHub machine;
    testbed::UsbHub& hub = machine.root.PlugHub(2, 4);
    hub.Plug(3, UsbStick(0x4444, 2, L"Behind", L"Hub", L"H1"));
    std::vector<UsbStorageDevice> devices;
    UsbDeviceEnumerator enumerator(devices);
    enumerator.Walk();
    std::vector<UsbStorageDevice> first = devices;
    enumerator.Walk();
    EXPECT_EQ(devices, first);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].vendorId, 0x4444);

    machine.root.Unplug(1);
    machine.root.Plug(4, UsbStick(0x5555, 3, L"Late", L"Comer", L"L1"));
    enumerator.Walk();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].vendorId, 0x4444);
    EXPECT_EQ(devices[1].vendorId, 0x5555);
    EXPECT_FALSE(devices[1].tree.HasVolume());
    EXPECT_EQ(machine.pc.OpenHandleCount(), 0u);
}

TEST(UsbDeviceEnumerator, StickPulledWhileItsStringsAreReadIsDroppedCleanly)
{
    OneStickOnRootHub machine;
    machine.root.Plug(2, UsbStick(0x6666, 1, L"Stays", L"Put", L"P1"));
    bool pulled = false;
    machine.pc.beforeRequest = [&](DWORD code) {
        if (code == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION && !pulled) {
            pulled = true;
            machine.root.Unplug(1);
        }
    };
    std::vector<UsbStorageDevice> devices = Enumerate();

    EXPECT_TRUE(pulled);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendorId, 0x6666);
    EXPECT_EQ(machine.volume.freeSpaceProbes, 0u);
    EXPECT_EQ(machine.pc.OpenHandleCount(), 0u);
}

TEST(UsbDeviceEnumerator, DriveLetterSwitchFollowsTheVersionAtEveryWalk)
{
    testbed::Machine pc;
    std::vector<UsbStorageDevice> devices;
    UsbDeviceEnumerator enumerator(devices);
    enumerator.SetInfoMask(UsbDeviceEnumerator::INFO_PRODUCT);

    pc.SetWindowsVersion(6, 2);
    enumerator.Walk();
    EXPECT_FALSE(enumerator.DriveLettersOn());
    EXPECT_EQ(enumerator.InfoMask(), DWORD(UsbDeviceEnumerator::INFO_PRODUCT));
    pc.SetWindowsVersion(10, 0);
    enumerator.Walk();
    EXPECT_TRUE(enumerator.DriveLettersOn());
    EXPECT_EQ(enumerator.InfoMask(), DWORD(UsbDeviceEnumerator::INFO_PRODUCT | UsbDeviceEnumerator::INFO_VOLUMES));
    pc.SetWindowsVersion(6, 1);
    enumerator.Walk();
    EXPECT_FALSE(enumerator.DriveLettersOn());
    // Once added, the volume bit stays for later walks.
    EXPECT_EQ(enumerator.InfoMask(), DWORD(UsbDeviceEnumerator::INFO_PRODUCT | UsbDeviceEnumerator::INFO_VOLUMES));
}

TEST(UsbDeviceEnumerator, IdsOnlyMaskAsksForNothingElse)
{
    OneStickOnRootHub machine;
    std::vector<UsbStorageDevice> devices = Enumerate(UsbDeviceEnumerator::INFO_VENDOR_ID | UsbDeviceEnumerator::INFO_PRODUCT_ID);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].productId, 0x5567);
    EXPECT_TRUE(devices[0].product.IsEmpty());
    EXPECT_TRUE(devices[0].tree.IsEmpty());
    EXPECT_EQ(machine.stick.StringRequests(), 0u);
}

}  // namespace
