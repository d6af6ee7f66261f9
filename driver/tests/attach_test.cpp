// Which file systems and volumes get a filter, how mounts and loads are followed, and the
// volume event the service waits on.
#include "driver/tests/DriverFixture.h"

using namespace standin;

namespace drivertest {
namespace {

class Attach : public DriverTest {};

TEST_F(Attach, LocalAndNetworkFileSystemsGetAFilterOthersDoNot) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem disk(KTEXT("DiskFs"), FILE_DEVICE_DISK_FILE_SYSTEM);
  MemoryFileSystem cdrom(KTEXT("CdFs"), FILE_DEVICE_CD_ROM_FILE_SYSTEM);
  MemoryFileSystem network(KTEXT("NetFs"), FILE_DEVICE_NETWORK_FILE_SYSTEM);
  MemoryFileSystem other(KTEXT("OtherFs"), FILE_DEVICE_UNKNOWN);
  for (MemoryFileSystem *fs : {&disk, &cdrom, &network, &other}) fs->Register();
  EXPECT_NE(nullptr, FileSystemFilter(disk.ControlDevice()));
  EXPECT_NE(nullptr, FileSystemFilter(cdrom.ControlDevice()));
  EXPECT_NE(nullptr, FileSystemFilter(network.ControlDevice()));
  EXPECT_EQ(nullptr, FileSystemFilter(other.ControlDevice()));

  PDEVICE_OBJECT filter = FileSystemFilter(disk.ControlDevice());
  EXPECT_EQ(0, ExtensionOf(filter)->CachedState);
  EXPECT_EQ(KTEXT("\\FileSystem\\DiskFsCdo"), KString(ExtensionOf(filter)->VolumeName.Buffer));
  EXPECT_EQ(FILE_DEVICE_CD_ROM_FILE_SYSTEM, FileSystemFilter(cdrom.ControlDevice())->DeviceType);
}

TEST_F(Attach, FsRecGetsNoFilter) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  FileSystemRecognizer fsRec(KTEXT("\\FileSystem\\fs_rec"), fs);
  EXPECT_EQ(nullptr, FileSystemFilter(fsRec.ControlDevice()));
}

TEST_F(Attach, FileSystemsRegisteredBeforeTheDriverAreAttached) {
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  EXPECT_NE(nullptr, FileSystemFilter(fs.ControlDevice()));
}

TEST_F(Attach, VolumesMountedBeforeTheDriverAreAttachedAndSignalled) {
  MemoryFileSystem fs(KTEXT("Fat"));
  StorageVolume first(KTEXT("\\Device\\HarddiskVolume1"));
  StorageVolume second(KTEXT("\\Device\\HarddiskVolume2"));
  fs.Register();
  ASSERT_EQ(STATUS_SUCCESS, fs.MountDirectly(first));
  ASSERT_EQ(STATUS_SUCCESS, fs.MountDirectly(second));
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());

  PDEVICE_OBJECT filter = VolumeFilter(first);
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ(KTEXT("\\Device\\HarddiskVolume1"), KString(ExtensionOf(filter)->VolumeName.Buffer));
  EXPECT_EQ(VOLUME_ACCESS_UNKNOWN, ExtensionOf(filter)->CachedState);
  EXPECT_EQ(first.Device(), ExtensionOf(filter)->StorageDeviceObject);
  EXPECT_NE(nullptr, VolumeFilter(second));
  EXPECT_EQ(0u, filter->Flags & DO_DEVICE_INITIALIZING);
  EXPECT_EQ(2u, EventSetCount(kVolumeEvent));
}

class AttachMount : public Attach, public ::testing::WithParamInterface<MemoryFileSystem::MountMode> {};

// The signal used to be sent under the attach lock at APC_LEVEL, where it does nothing.
TEST_P(AttachMount, SuccessfulMountAttachesAndSetsTheVolumeEvent) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  fs.SetMountMode(GetParam());
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume3"));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  PDEVICE_OBJECT filter = VolumeFilter(volume);
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ(KTEXT("\\Device\\HarddiskVolume3"), KString(ExtensionOf(filter)->VolumeName.Buffer));
  EXPECT_EQ(volume.MountedVolume(), ExtensionOf(filter)->AttachedToDeviceObject);
  EXPECT_EQ(1u, EventSetCount(kVolumeEvent));
}

INSTANTIATE_TEST_SUITE_P(Modes, AttachMount,
                         ::testing::Values(MemoryFileSystem::MountMode::Synchronous,
                                           MemoryFileSystem::MountMode::Pending));

// The new filter device is deleted after the attach lock is released, at PASSIVE_LEVEL.
TEST_F(Attach, MountOfAFilteredVolumeKeepsOneFilterAndSignalsAgain) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume3"));
  ASSERT_EQ(STATUS_SUCCESS, MountVolume(volume));
  PDEVICE_OBJECT filter = VolumeFilter(volume);
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ(STATUS_SUCCESS, SendMountRequest(fs.ControlDevice(), volume));
  EXPECT_EQ(filter, IoGetAttachedDevice(volume.MountedVolume()));
  EXPECT_EQ(volume.MountedVolume(), AttachedTo(filter));
  EXPECT_EQ(2u, EventSetCount(kVolumeEvent));
}

TEST_F(Attach, RefusedMountLeavesNoFilterAndNoSignal) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  fs.SetMountMode(MemoryFileSystem::MountMode::Refuse);
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume3"));
  FileHandle file;
  EXPECT_EQ(STATUS_UNRECOGNIZED_VOLUME, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_EQ(0u, EventSetCount(kVolumeEvent));
  // Only the control device and the file system's filter are left.
  size_t devices = 0;
  for (PDEVICE_OBJECT device = driver_->DeviceObject; device; device = device->NextDevice) ++devices;
  EXPECT_EQ(2u, devices);
}

TEST_F(Attach, VolumeThatCannotBeAttachedStaysUnfilteredAndIsSignalled) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume4"));
  FailAttachments(8);
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_EQ(nullptr, VolumeFilter(volume));
  EXPECT_EQ(Milliseconds(8 * 500), Now());
  EXPECT_EQ(1u, EventSetCount(kVolumeEvent));
}

TEST_F(Attach, AttachRetriesHalfASecondApart) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume4"));
  FailAttachments(3);
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_NE(nullptr, VolumeFilter(volume));
  EXPECT_EQ(Milliseconds(3 * 500), Now());
}

TEST_F(Attach, RecognizerLoadHandsOverToTheLoadedFileSystem) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  FileSystemRecognizer recognizer(KTEXT("\\FileSystem\\FatRecognizer"), fs);
  ASSERT_NE(nullptr, FileSystemFilter(recognizer.ControlDevice()));
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume5"));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_EQ(nullptr, recognizer.ControlDevice());
  EXPECT_NE(nullptr, FileSystemFilter(fs.ControlDevice()));
  EXPECT_NE(nullptr, VolumeFilter(volume));
}

TEST_F(Attach, FailedLoadKeepsTheRecognizerFiltered) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  FileSystemRecognizer recognizer(KTEXT("\\FileSystem\\FatRecognizer"), fs, STATUS_INSUFFICIENT_RESOURCES);
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume5"));
  FileHandle file;
  EXPECT_FALSE(NT_SUCCESS(CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file)));
  EXPECT_NE(nullptr, FileSystemFilter(recognizer.ControlDevice()));
}

TEST_F(Attach, ImageAlreadyLoadedRemovesTheRecognizerFilter) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  FileSystemRecognizer recognizer(KTEXT("\\FileSystem\\FatRecognizer"), fs, STATUS_IMAGE_ALREADY_LOADED);
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume5"));
  FileHandle file;
  CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file);
  EXPECT_EQ(nullptr, FileSystemFilter(recognizer.ControlDevice()));
}

TEST_F(Attach, FailedNameQueryNamesTheVolumeWithTheErrorText) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume6"));
  FailNameQueries(1, STATUS_INSUFFICIENT_RESOURCES);
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  PDEVICE_OBJECT filter = VolumeFilter(volume);
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ(KTEXT("[-=Error 0xc000009a Getting Name=-]"), KString(ExtensionOf(filter)->VolumeName.Buffer));
}

TEST_F(Attach, LongNamesAreQueriedIntoALargerBuffer) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  KString name = KTEXT("\\Device\\") + KString(300, 'V');
  StorageVolume volume(name);
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_EQ(name, KString(ExtensionOf(VolumeFilter(volume))->VolumeName.Buffer));
}

TEST_F(Attach, DismountAndUnregisterRemoveTheFilters) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume7"));
  {
    FileHandle file;
    ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  }
  volume.Dismount();
  fs.Unregister();
  EXPECT_EQ(nullptr, FileSystemFilter(fs.ControlDevice()));
  EXPECT_EQ(gControlDeviceObject, driver_->DeviceObject);
  EXPECT_EQ(nullptr, driver_->DeviceObject->NextDevice);
}

class AttachWithoutRoutines : public Attach {
  KernelConfig Config() override {
    KernelConfig config;
    config.MissingRoutines = {"IoEnumerateDeviceObjectList", "IoAttachDeviceToDeviceStackSafe",
                              "IoGetAttachedDeviceReference"};
    return config;
  }
};

// Routines a system lacks are never called through an empty pointer.
TEST_F(AttachWithoutRoutines, MissingRoutinesAreNotCalled) {
  MemoryFileSystem fs(KTEXT("Fat"));
  StorageVolume early(KTEXT("\\Device\\HarddiskVolume1"));
  fs.Register();
  ASSERT_EQ(STATUS_SUCCESS, fs.MountDirectly(early));
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  EXPECT_NE(nullptr, FileSystemFilter(fs.ControlDevice()));
  EXPECT_EQ(nullptr, VolumeFilter(early));
  StorageVolume late(KTEXT("\\Device\\HarddiskVolume2"));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(late, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_NE(nullptr, VolumeFilter(late));
}

class AttachOnWindows2000 : public Attach {
  KernelConfig Config() override {
    KernelConfig config;
    config.MajorVersion = 5;
    config.MinorVersion = 0;
    return config;
  }
};

TEST_F(AttachOnWindows2000, MountIsCompletedThroughTheWorkItemPath) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  fs.SetMountMode(MemoryFileSystem::MountMode::Pending);
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume8"));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_NE(nullptr, VolumeFilter(volume));
  EXPECT_EQ(NonPagedPool, FilterPoolType());
}

}  // namespace
}  // namespace drivertest
