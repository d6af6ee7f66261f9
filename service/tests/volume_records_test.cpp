// Volume records: equality, lists without duplicates, the system-volume test, and which
// volumes lie on which USB storage device.
#include "service/decision/TwinIdentity.h"
#include "service/tests/DecisionValues.h"
#include "service/volumes/VolumeOnDevice.h"
#include "service/volumes/VolumeRecordList.h"

#include <gtest/gtest.h>

#include <functional>

namespace servicetest {
namespace {

using namespace Quelmar;

TEST(VolumeRecords, EqualOnlyWhenEveryFieldIsEqual)
{
    const VolumeRecord base = StickVolume(_T("\\Device\\HarddiskVolume5"), 'E', _T("A1"), {_T("\\Device\\0070")});
    const std::vector<std::pair<const char*, std::function<void(VolumeRecord&)>>> changes = {
        {"volumeName", [](VolumeRecord& r) { r.volumeName = _T("\\\\?\\Volume{x}\\"); }},
        {"deviceName case", [](VolumeRecord& r) { r.deviceName = _T("\\device\\harddiskvolume5"); }},
        {"driveLetter", [](VolumeRecord& r) { r.driveLetter = 'F'; }},
        {"interfacePath", [](VolumeRecord& r) { r.interfacePath = _T("\\\\?\\STORAGE#x\\"); }},
        {"deviceInstanceId", [](VolumeRecord& r) { r.deviceInstanceId += _T("x"); }},
        {"devNode", [](VolumeRecord& r) { r.devNode = 7; }},
        {"child count", [](VolumeRecord& r) { r.childDeviceObjectNames.push_back(_T("\\Device\\0071")); }},
        {"child name", [](VolumeRecord& r) { r.childDeviceObjectNames[0] = _T("\\Device\\0071"); }},
    };
    EXPECT_TRUE(VolumeRecordEquals(base, base));
    for (const auto& [field, change] : changes) {
        VolumeRecord other = base;
        change(other);
        EXPECT_FALSE(VolumeRecordEquals(base, other)) << field;
    }
}

TEST(VolumeRecords, AddOnceKeepsOneOfEqualRecords)
{
    std::vector<VolumeRecord> list;
    const VolumeRecord a = InternalVolume(_T("\\Device\\HarddiskVolume1"), 'C');
    VolumeRecord b = a;
    b.driveLetter = 0;
    AddVolumeRecordOnce(list, a);
    AddVolumeRecordOnce(list, b);
    AddVolumeRecordOnce(list, a);
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ('C', list[0].driveLetter);
    EXPECT_EQ(0, list[1].driveLetter);
}

TEST(VolumeRecords, SystemVolumeByDeviceNameWithoutCase)
{
    const std::vector<VolumeRecord> system = {InternalVolume(_T("\\Device\\HarddiskVolume1"), 'C')};
    EXPECT_TRUE(IsSystemVolume(system, _T("\\DEVICE\\harddiskvolume1")));
    EXPECT_FALSE(IsSystemVolume(system, _T("\\Device\\HarddiskVolume10")));
    EXPECT_FALSE(IsSystemVolume(system, _T("")));
    EXPECT_FALSE(IsSystemVolume({}, _T("\\Device\\HarddiskVolume1")));
}

struct OnDeviceCase {
    const char* name;
    const WCHAR* nodeId;
    const WCHAR* recordId;
    bool expected;
};

TEST(VolumeOnDevice, MatchesTheNodeOrItsDiskInTheVolumeId)
{
    const OnDeviceCase cases[] = {
        {"same id", _T("USBSTOR\\DISK&VEN_A\\1&0"), _T("USBSTOR\\DISK&VEN_A\\1&0"), true},
        {"same id other case", _T("usbstor\\disk&ven_a\\1&0"), _T("USBSTOR\\DISK&VEN_A\\1&0"), true},
        {"disk inside volume id", _T("USBSTOR\\DISK&VEN_A\\1&0"),
         _T("STORAGE\\Volume\\_??_USBSTOR#Disk&Ven_A#1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"), true},
        {"other disk", _T("USBSTOR\\DISK&VEN_A\\2&0"),
         _T("STORAGE\\Volume\\_??_USBSTOR#DISK&VEN_A#1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"), false},
        {"volume id inside node id is no match", _T("USBSTOR\\DISK&VEN_A\\1&0\\MORE"), _T("USBSTOR#DISK&VEN_A#1&0"),
         false},
        {"empty node id", _T(""), _T("STORAGE\\Volume\\_??_SCSI#Disk#1#{x}"), false},
        {"empty volume id", _T("USBSTOR\\DISK&VEN_A\\1&0"), _T(""), false},
        {"both empty", _T(""), _T(""), false},
    };
    for (const OnDeviceCase& c : cases) {
        UsbStorageDevice device;
        UsbDeviceNodeInfo node;
        node.instanceId = c.nodeId;
        device.tree.SetRoot(node);
        VolumeRecord record;
        record.deviceInstanceId = c.recordId;
        EXPECT_EQ(c.expected, VolumeOnDevice(device, record)) << c.name;
    }
}

TEST(VolumeOnDevice, EmptyNodeIdNeverClaimsAVolume)
{
    // A node whose id could not be read sits beside the stick's own nodes.
    UsbStorageDevice stick = Stick(0x1234, 0x5678, _T("A1"));
    stick.tree.AppendChild(stick.tree.Root(), UsbDeviceNodeInfo());
    EXPECT_FALSE(VolumeOnDevice(stick, InternalVolume(_T("\\Device\\HarddiskVolume1"), 'C')));
    EXPECT_TRUE(VolumeOnDevice(stick, StickVolume(_T("\\Device\\HarddiskVolume5"), 'E', _T("A1"))));
}

TEST(VolumeOnDevice, FindsNodesDeepInTheTree)
{
    UsbStorageDevice hubLike;
    UsbDeviceNodeInfo info;
    info.instanceId = _T("USB\\VID_1&PID_2\\X");
    UsbDeviceTree::Node* root = hubLike.tree.SetRoot(info);
    info.instanceId = _T("USB\\VID_1&PID_2&MI_00\\1");
    UsbDeviceTree::Node* first = hubLike.tree.AppendChild(root, info);
    info.instanceId = _T("USB\\VID_1&PID_2&MI_01\\1");
    UsbDeviceTree::Node* second = hubLike.tree.AppendChild(root, info);
    info.instanceId = _T("HID\\X\\1");
    hubLike.tree.AppendChild(first, info);
    info.instanceId = DiskId(_T("C3"));
    hubLike.tree.AppendChild(second, info);
    EXPECT_TRUE(VolumeOnDevice(hubLike, StickVolume(_T("\\Device\\HarddiskVolume9"), 'K', _T("C3"))));
}

TEST(VolumeOnDevice, FilterKeepsDevicesWithVolumesInListOrder)
{
    const std::vector<UsbStorageDevice> devices = {Stick(1, 1, _T("S1")), Stick(2, 2, _T("S2")), Stick(3, 3, _T("S3"))};
    const std::vector<VolumeRecord> volumes = {StickVolume(_T("\\Device\\HarddiskVolume8"), 'H', _T("S3")),
                                               InternalVolume(_T("\\Device\\HarddiskVolume1"), 'C'),
                                               StickVolume(_T("\\Device\\HarddiskVolume7"), 'G', _T("S1"))};
    std::vector<UsbStorageDevice> kept = {Stick(9, 9, _T("old"))};
    FilterDevicesWithVolumes(volumes, devices, kept);
    ASSERT_EQ(2u, kept.size());
    EXPECT_EQ(1, kept[0].vendorId);
    EXPECT_EQ(3, kept[1].vendorId);
    EXPECT_TRUE(VolumeOnAnyDevice(volumes[0], devices));
    EXPECT_FALSE(VolumeOnAnyDevice(volumes[1], devices));
}

TEST(TwinIdentity, EachPairAnswersBothWays)
{
    struct {
        WORD vendorId, productId;
        bool twin;
        WORD twinProductId;
    } const cases[] = {
        {0x0411, 0x010C, true, 0x010D}, {0x0411, 0x010D, true, 0x010C}, {0x20AA, 0x001A, true, 0x001B},
        {0x20AA, 0x001B, true, 0x001A}, {0x0693, 0x0095, true, 0x0096}, {0x0693, 0x0096, true, 0x0095},
        {0x20AA, 0x001C, false, 0},     {0x0412, 0x010C, false, 0},     {0x0411, 0x001A, false, 0},
    };
    for (const auto& c : cases) {
        UsbDeviceIdentity identity;
        identity.vendorId = c.vendorId;
        identity.productId = c.productId;
        identity.manufacturer = _T("M");
        identity.product = _T("P");
        identity.serialNumber = _T("S");
        UsbDeviceIdentity twin;
        ASSERT_EQ(c.twin, GetTwinIdentity(identity, twin)) << std::hex << c.vendorId << ":" << c.productId;
        if (c.twin) {
            EXPECT_EQ(c.vendorId, twin.vendorId);
            EXPECT_EQ(c.twinProductId, twin.productId);
            EXPECT_EQ(CString(_T("M")), twin.manufacturer);
            EXPECT_EQ(CString(_T("P")), twin.product);
            EXPECT_EQ(CString(_T("S")), twin.serialNumber);
        }
    }
}

}  // namespace
}  // namespace servicetest
