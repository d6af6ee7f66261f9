#include "core/volume/VolumeMap.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::wstring W(const CString& text) { return text.GetString(); }

// A fixed disk with C:, a stick with E:, and a hidden system volume without a letter.
struct DesktopWithStick {
    testbed::Machine pc;
    testbed::Volume& system = pc.AddVolumeWithoutInterface(0, DRIVE_FIXED);
    testbed::Volume& windows = pc.AddVolume(nullptr, L'C', DRIVE_FIXED);
    testbed::UsbDevice& stick = pc.AddHostController().RootHub().Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"4C530001"));
    testbed::Volume& usb = pc.AddVolume(stick.Disk(), L'E');
};

TEST(VolumeMap, VolumeWalkAloneListsNamesInVolumeManagerOrder)
{
    DesktopWithStick machine;
    std::vector<VolumeRecord> records(3);
    VolumeMap(records, 0).Build();

    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(W(records[0].volumeName), machine.system.guidPath);
    EXPECT_EQ(W(records[1].volumeName), machine.windows.guidPath);
    EXPECT_EQ(W(records[2].volumeName), machine.usb.guidPath);
    for (const auto& record : records) {
        EXPECT_TRUE(record.deviceName.IsEmpty());
        EXPECT_EQ(record.driveLetter, 0);
        EXPECT_EQ(record.devNode, 0u);
    }
    EXPECT_EQ(machine.pc.OpenHandleCount(), 0u);
}

TEST(VolumeMap, DeviceNamesAndLettersWithVolumesWithoutLetters)
{
    DesktopWithStick machine;
    std::vector<VolumeRecord> records;
    VolumeMap(records, VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_DRIVE_LETTERS).Build();

    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(W(records[0].deviceName), machine.system.deviceName);
    EXPECT_EQ(records[0].driveLetter, 0);
    EXPECT_EQ(records[1].driveLetter, L'C');
    EXPECT_EQ(W(records[2].deviceName), machine.usb.deviceName);
    EXPECT_EQ(records[2].driveLetter, L'E');
    EXPECT_TRUE(records[2].interfacePath.IsEmpty());
    EXPECT_TRUE(records[2].deviceInstanceId.IsEmpty());
}

// Each partition of a disk is a volume of its own, with its own instance id and interface, on
// a stick as on the system disk; none is left without the id that ties it to its device.
TEST(VolumeMap, EveryPartitionOfADiskHasItsOwnIdAndInterface)
{
    testbed::Machine pc;
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    testbed::UsbDevice& stick = pc.AddHostController().RootHub().Plug(1, testbed::UsbStick(0x0781, 0x5567, L"S", L"P", L"A1"));
    testbed::Volume* volumes[] = {&pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED), &pc.AddVolume(&systemDisk, 0, DRIVE_FIXED),
                                  &pc.AddVolume(stick.Disk(), L'E'), &pc.AddVolume(stick.Disk(), L'F')};
    std::vector<VolumeRecord> records;
    VolumeMap(records, VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_INTERFACE_PATHS | VOLUME_MAP_DEVICE_IDS | VOLUME_MAP_DEVNODES)
        .Build();

    ASSERT_EQ(records.size(), 4u);
    std::set<std::wstring> ids, paths;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(W(records[i].deviceInstanceId), volumes[i]->node->InstanceId()) << i;
        EXPECT_EQ(W(records[i].interfacePath), volumes[i]->interfacePath + L"\\") << i;
        EXPECT_EQ(records[i].devNode, volumes[i]->node->Handle()) << i;
        ids.insert(W(records[i].deviceInstanceId));
        paths.insert(W(records[i].interfacePath));
    }
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(paths.size(), 4u);
    // Both partitions of each disk depend on it for removal.
    EXPECT_EQ(systemDisk.RemovalRelations().size(), 2u);
    EXPECT_EQ(stick.Disk()->RemovalRelations().size(), 2u);
}

TEST(VolumeMap, VolumeWithTwoLettersKeepsTheLaterOneAndZIsFound)
{
    testbed::Machine pc;
    testbed::Volume& data = pc.AddVolume(nullptr, L'K', DRIVE_FIXED);
    data.letters.push_back(L'D');
    pc.AddVolume(nullptr, L'Z', DRIVE_FIXED);
    std::vector<VolumeRecord> records;
    VolumeMap(records, VOLUME_MAP_DRIVE_LETTERS).Build();

    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].driveLetter, L'K');
    EXPECT_EQ(records[1].driveLetter, L'Z');
}

TEST(VolumeMap, DeviceNameLongerThanFirstBufferIsReadWhole)
{
    testbed::Machine pc;
    testbed::Volume& deep = pc.AddVolume(nullptr, L'F', DRIVE_FIXED);
    deep.deviceName = L"\\Device\\" + std::wstring(1300, L'x');
    std::vector<VolumeRecord> records;
    VolumeMap(records, VOLUME_MAP_DEVICE_NAMES).Build();

    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(W(records[0].deviceName), deep.deviceName);
}

TEST(VolumeMap, InterfacePassFillsNodeInterfaceAndInstanceId)
{
    DesktopWithStick machine;
    std::vector<VolumeRecord> records;
    VolumeMap(records, 0x3F).Build();

    ASSERT_EQ(records.size(), 3u);
    const VolumeRecord& usb = records[2];
    EXPECT_EQ(usb.devNode, machine.usb.node->Handle());
    EXPECT_EQ(W(usb.interfacePath), machine.usb.interfacePath + L"\\");
    EXPECT_EQ(W(usb.deviceInstanceId), machine.usb.node->InstanceId());
    EXPECT_TRUE(usb.childDeviceObjectNames.empty());  // a volume node without children
    // The system volume has no interface: the interface pass leaves it alone.
    EXPECT_EQ(records[0].devNode, 0u);
    EXPECT_TRUE(records[0].deviceInstanceId.IsEmpty());
    EXPECT_EQ(machine.pc.OpenHandleCount(), 0u);
}

TEST(VolumeMap, ChildObjectNamesComeInDepthFirstPreOrder)
{
    testbed::Machine pc;
    testbed::Volume& volume = pc.AddVolume(nullptr, L'G', DRIVE_FIXED);
    testbed::DeviceNode& first = pc.AddNode(*volume.node, L"SW\\FIRST\\0");
    testbed::DeviceNode& inner = pc.AddNode(first, L"SW\\INNER\\0");
    testbed::DeviceNode& second = pc.AddNode(*volume.node, L"SW\\SECOND\\0");
    second.RemoveProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME);  // a node without the property is passed over
    testbed::DeviceNode& third = pc.AddNode(*volume.node, L"SW\\THIRD\\0");

    std::vector<VolumeRecord> withNames, without;
    VolumeMap(withNames, VOLUME_MAP_CHILD_DEVICE_NAMES).Build();
    VolumeMap(without, VOLUME_MAP_DEVICE_IDS).Build();

    ASSERT_EQ(withNames.size(), 1u);
    ASSERT_EQ(withNames[0].childDeviceObjectNames.size(), 3u);
    EXPECT_EQ(W(withNames[0].childDeviceObjectNames[0]), *first.FindProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME));
    EXPECT_EQ(W(withNames[0].childDeviceObjectNames[1]), *inner.FindProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME));
    EXPECT_EQ(W(withNames[0].childDeviceObjectNames[2]), *third.FindProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME));
    EXPECT_TRUE(without[0].childDeviceObjectNames.empty());
}

TEST(VolumeMap, TwoInterfacesOfOneVolumeUpdateOneRecordAndTheLaterStands)
{
    testbed::Machine pc;
    testbed::Volume& volume = pc.AddVolume(nullptr, L'H', DRIVE_FIXED);
    testbed::DeviceNode& other = pc.AddNode(pc.Root(), L"STORAGE\\VOLUME\\SECOND");
    pc.AddNode(other, L"SW\\BELOW\\0");
    pc.AddVolumeInterface(volume, other);
    std::vector<VolumeRecord> records;
    VolumeMap(records, 0x3F).Build();

    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].devNode, other.Handle());
    EXPECT_EQ(W(records[0].deviceInstanceId), L"STORAGE\\VOLUME\\SECOND");
    EXPECT_EQ(W(records[0].interfacePath), volume.moreInterfacePaths[0] + L"\\");
    // Child names gather from every interface's node, the earlier one's first.
    EXPECT_EQ(records[0].childDeviceObjectNames.size(), 1u);
}

TEST(VolumeMap, BuildEmptiesTheTargetAndNoVolumesGiveNoRecords)
{
    testbed::Machine pc;
    std::vector<VolumeRecord> records(2);
    VolumeMap(records, 0x3F).Build();
    EXPECT_TRUE(records.empty());

    pc.AddVolume(nullptr, L'C', DRIVE_FIXED);
    VolumeMap map(records, VOLUME_MAP_DRIVE_LETTERS);
    map.Build();
    map.Build();
    EXPECT_EQ(records.size(), 1u);
}

TEST(VolumeMap, UnpluggedStickTakesItsVolumeAway)
{
    DesktopWithStick machine;
    std::vector<VolumeRecord> before, after;
    VolumeMap(before, 0x3F).Build();
    machine.pc.HostControllers()[0]->RootHub().Unplug(1);
    VolumeMap(after, 0x3F).Build();

    EXPECT_EQ(before.size(), 3u);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
}

TEST(GetVolumeDeviceName, UnknownVolumeGivesTheErrorAndKeepsTheName)
{
    testbed::Machine pc;
    CString name(L"unchanged");
    EXPECT_EQ(GetVolumeDeviceName(CString(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"), name),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(name), L"unchanged");
    EXPECT_EQ(GetVolumeDeviceName(CString(L"x"), name), DWORD(ERROR_INVALID_NAME));
}

}  // namespace
