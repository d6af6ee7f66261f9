// The service's storage queries on the simulated PC: device numbers through each path form,
// the volumes of the Windows installation, and the bus scan that finds card readers.
#include "core/volume/VolumeMap.h"
#include "service/decision/QuelmarDecision.h"
#include "service/volumes/StorageQuery.h"
#include "service/tests/TestbedDevices.h"
#include "service/volumes/VolumeOnDevice.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace servicetest {
namespace {

using namespace Quelmar;

std::wstring W(const CString& text) { return text.GetString(); }

// Windows on disk 0 (C: and an unlettered recovery partition), a data disk D:, an SD card
// reader G:, a removable SCSI drive H:, a stick E: and the service's program on F: of a second
// stick.
struct OfficePc {
    testbed::Machine pc;
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    testbed::DeviceNode& dataDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_DATA\\4&1A&0&010000");
    testbed::DeviceNode& cardDisk = pc.AddNode(pc.Root(), L"SD\\DISK&GENERIC&SD\\5&2B&0&0");
    testbed::DeviceNode& zipDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_IOMEGA&PROD_ZIP\\4&1A&0&020000");
    testbed::Volume& windows = pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED);
    testbed::Volume& recovery = pc.AddVolume(&systemDisk, 0, DRIVE_FIXED);
    testbed::Volume& data = pc.AddVolume(&dataDisk, L'D', DRIVE_FIXED);
    testbed::UsbHub& root = pc.AddHostController().RootHub();
    testbed::UsbDevice& stick = root.Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"4C530001"));
    testbed::Volume& usb = pc.AddVolume(stick.Disk(), L'E');
    testbed::UsbDevice& toolStick = root.Plug(2, testbed::UsbStick(0x0781, 0x5581, L"SanDisk", L"Ultra", L"4C530002"));
    testbed::Volume& tools = pc.AddVolume(toolStick.Disk(), L'F');
    testbed::Volume& card = pc.AddVolume(&cardDisk, L'G', DRIVE_REMOVABLE);
    testbed::Volume& zip = pc.AddVolume(&zipDisk, L'H', DRIVE_REMOVABLE);

    OfficePc()
    {
        pc.windowsFolder = L"c:\\Windows";
        pc.programFile = L"F:\\QEVRIN\\QEVRINs.exe";
        card.storage.busType = BusTypeSd;
        zip.storage.busType = BusTypeScsi;
    }
};

std::set<std::wstring> DeviceNames(const std::vector<VolumeRecord>& records)
{
    std::set<std::wstring> names;
    for (const VolumeRecord& record : records)
        names.insert(W(record.deviceName));
    return names;
}

TEST(StorageQuery, DeviceNumberThroughEachPathForm)
{
    OfficePc office;
    const std::wstring recoveryGuid = office.recovery.guidPath.substr(0, office.recovery.guidPath.size() - 1);
    const std::wstring dataDevice = L"\\\\.\\" + office.data.deviceName.substr(8);
    const struct {
        std::wstring path;
        DWORD number, partition;
    } cases[] = {{L"\\\\.\\C:", 0, 1}, {L"\\\\.\\c:", 0, 1}, {recoveryGuid, 0, 2}, {dataDevice, 1, 1}};
    for (const auto& c : cases) {
        STORAGE_DEVICE_NUMBER number;
        ASSERT_TRUE(QueryStorageDeviceNumber(c.path.c_str(), number)) << std::string(c.path.begin(), c.path.end());
        EXPECT_EQ(DWORD(FILE_DEVICE_DISK), number.DeviceType);
        EXPECT_EQ(c.number, number.DeviceNumber);
        EXPECT_EQ(c.partition, number.PartitionNumber);
    }
    EXPECT_EQ(0u, office.pc.OpenHandleCount());
}

TEST(StorageQuery, FailedQueryLeavesZeros)
{
    OfficePc office;
    office.data.storage.deviceNumberFails = true;
    STORAGE_DEVICE_NUMBER number;
    number.DeviceNumber = 9;
    EXPECT_FALSE(QueryStorageDeviceNumber(L"\\\\.\\D:", number));
    EXPECT_EQ(0u, number.DeviceType);
    EXPECT_EQ(0u, number.DeviceNumber);
    EXPECT_FALSE(QueryStorageDeviceNumber(L"\\\\.\\Q:", number));
    EXPECT_EQ(0u, office.pc.OpenHandleCount());
}

TEST(SystemVolumes, WindowsDiskAndProgramDrive)
{
    OfficePc office;
    std::vector<VolumeRecord> list;
    BuildSystemVolumeList(list);
    EXPECT_EQ((std::set<std::wstring>{office.windows.deviceName, office.recovery.deviceName, office.tools.deviceName}),
              DeviceNames(list));
    EXPECT_EQ(3u, list.size());
}

TEST(SystemVolumes, PartitionThatCannotBeQueriedIsNoSystemVolume)
{
    OfficePc office;
    // No path form opens the recovery partition, so nothing ties it to the Windows disk.
    office.recovery.storage.openFails = true;
    std::vector<VolumeRecord> list;
    BuildSystemVolumeList(list);
    EXPECT_EQ((std::set<std::wstring>{office.windows.deviceName, office.tools.deviceName}), DeviceNames(list));
}

TEST(SystemVolumes, UsbDiskHoldingWindowsPassesWithAllItsVolumes)
{
    testbed::Machine pc;
    testbed::UsbDevice& stick = pc.AddHostController().RootHub().Plug(1, testbed::UsbStick(0x0781, 0x5567, L"S", L"P", L"1"));
    testbed::Volume& boot = pc.AddVolume(stick.Disk(), L'C');
    testbed::Volume& second = pc.AddVolume(stick.Disk(), 0);
    pc.AddVolume(pc.AddHostController().RootHub().Plug(1, testbed::UsbStick(1, 2, L"S", L"P", L"2")).Disk(), L'E');
    pc.windowsFolder = L"C:\\WINDOWS";
    pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
    std::vector<VolumeRecord> list;
    BuildSystemVolumeList(list);
    EXPECT_EQ((std::set<std::wstring>{boot.deviceName, second.deviceName}), DeviceNames(list));
}

TEST(SystemVolumes, WindowsDiskUnknownLeavesOnlyLetters)
{
    OfficePc office;
    office.windows.storage.deviceNumberFails = true;
    std::vector<VolumeRecord> list;
    BuildSystemVolumeList(list);
    // Without the Windows disk's number no volume is compared with it: a failed query must
    // not make every volume that also fails look like the system disk.
    EXPECT_EQ((std::set<std::wstring>{office.windows.deviceName, office.tools.deviceName}), DeviceNames(list));
}

class CardReaderScan : public ::testing::Test {
protected:
    void Scan()
    {
        BuildLists();
        thread_.ScanDrives();
    }

    void BuildLists()
    {
        VolumeMap(thread_.VolumeList(), VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_DRIVE_LETTERS | VOLUME_MAP_DEVICE_IDS |
                                            VOLUME_MAP_CHILD_DEVICE_NAMES | VOLUME_MAP_DEVNODES)
            .Build();
        BuildSystemVolumeList(thread_.SystemVolumeList());
    }

    std::set<std::wstring> Found()
    {
        std::set<std::wstring> names;
        for (const CString& name : thread_.CardReaderVolumes())
            names.insert(W(name));
        return names;
    }

    OfficePc office_;
    QuelmarDecision thread_;
};

TEST_F(CardReaderScan, SdBusAndRemovableNonUsbDrivesOnly)
{
    thread_.UsbDeviceList() = {Enumerated(office_.stick)};
    Scan();
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName, office_.zip.deviceName}), Found());
    EXPECT_EQ(0u, office_.pc.OpenHandleCount());
}

TEST_F(CardReaderScan, StickMissedByTheEnumerationIsKnownByItsBus)
{
    // No USB device listed: the stick's removable volume still reports bus type USB.
    Scan();
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName, office_.zip.deviceName}), Found());
}

TEST_F(CardReaderScan, FailedOpenOrQueryFallsToTheDriveType)
{
    office_.card.storage.openFails = true;        // removable: still a card reader
    office_.zip.storage.propertyQueryFails = true;  // removable: still a card reader
    office_.data.storage.openFails = true;         // fixed: not one
    office_.usb.storage.propertyQueryFails = true; // removable, no USB device listed: one
    Scan();
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName, office_.zip.deviceName, office_.usb.deviceName}),
              Found());
}

TEST_F(CardReaderScan, ReplyTooShortForTheBusTypeFallsToTheDriveType)
{
    // The reply stops inside the bus type: its first byte says SD, the rest never arrived.
    const LONG cutInsideBusType = LONG(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + 1);
    office_.data.storage.busType = BusTypeSd;  // fixed: not a card reader without its bus
    office_.data.storage.propertyReplyBytes = cutInsideBusType;
    office_.zip.storage.propertyReplyBytes = cutInsideBusType;  // removable: still one
    Scan();
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName, office_.zip.deviceName}), Found());
}

TEST_F(CardReaderScan, VolumeWithoutLetterOrOnTheSystemDiskIsNeverOne)
{
    office_.recovery.storage.busType = BusTypeSd;
    office_.windows.storage.busType = BusTypeSd;
    testbed::Volume& hidden = office_.pc.AddVolume(&office_.cardDisk, 0, DRIVE_REMOVABLE);
    hidden.storage.busType = BusTypeSd;
    Scan();
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName, office_.zip.deviceName}), Found());
}

// Any failure inside the scan, not only a lack of memory, ends it quietly: the set keeps what
// was found before it, and no drive handle stays open.
TEST_F(CardReaderScan, AnyFailureEndsTheScanQuietlyWithTheSetAsFarAsItGot)
{
    BuildLists();
    // D:, E: and G: are queried before H:, the fourth drive that is neither a system volume
    // nor on a listed device.
    int queries = 0;
    office_.pc.beforeRequest = [&](DWORD code) {
        if (code == IOCTL_STORAGE_QUERY_PROPERTY && ++queries == 4)
            throw std::runtime_error("the drive went away mid-query");
    };
    EXPECT_NO_THROW(thread_.ScanDrives());
    office_.pc.beforeRequest = nullptr;
    EXPECT_EQ(4, queries);
    EXPECT_EQ((std::set<std::wstring>{office_.card.deviceName}), Found());
    EXPECT_EQ(0u, office_.pc.OpenHandleCount());
}

}  // namespace
}  // namespace servicetest
