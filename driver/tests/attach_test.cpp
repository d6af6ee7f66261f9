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
  EXPECT_TRUE(EventSignalled(kVolumeEvent));
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

// When volumes appeared between the enumeration's two calls, the second failed and the file
// system stayed without its filter.
TEST_F(Attach, VolumesAppearingDuringTheEnumerationAreAttachedToo) {
  MemoryFileSystem fs(KTEXT("Fat"));
  std::vector<std::unique_ptr<StorageVolume>> volumes;
  for (int i = 0; i < 40; ++i)
    volumes.emplace_back(new StorageVolume(KTEXT("\\Device\\HarddiskVolume") + KString(1, WCHAR('A' + i % 26)) +
                                           KString(1, WCHAR('a' + i / 26))));
  fs.Register();
  ASSERT_EQ(STATUS_SUCCESS, fs.MountDirectly(*volumes[0]));
  // Each listing finds more volumes than the length asked for just before has room for.
  size_t mounted = 1;
  BeforeDeviceEnumeration([&] {
    for (int i = 0; i < 13 && mounted < volumes.size(); ++i) fs.MountDirectly(*volumes[mounted++]);
  });
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  BeforeDeviceEnumeration(nullptr);
  EXPECT_NE(nullptr, FileSystemFilter(fs.ControlDevice()));
  ASSERT_LT(13u, mounted);
  for (size_t i = 0; i < mounted; ++i) EXPECT_NE(nullptr, VolumeFilter(*volumes[i])) << i;
  EXPECT_EQ(mounted, EventSetCount(kVolumeEvent));
  EXPECT_EQ(0u, LivePoolBlocks(TAG_DEVICE_LIST));
}

// A list that never fits gives up after a bounded number of rounds.
TEST_F(Attach, EnumerationThatNeverFitsGivesUpWithoutLeftovers) {
  MemoryFileSystem fs(KTEXT("Fat"));
  std::vector<std::unique_ptr<StorageVolume>> volumes;
  fs.Register();
  BeforeDeviceEnumeration([&] {
    for (int i = 0; i < 9; ++i) {
      volumes.emplace_back(new StorageVolume(KTEXT("\\Device\\Late") + KString(1, WCHAR('A' + volumes.size() % 26)) +
                                             KString(1, WCHAR('a' + volumes.size() / 26))));
      fs.MountDirectly(*volumes.back());
    }
  });
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  BeforeDeviceEnumeration(nullptr);
  EXPECT_EQ(nullptr, FileSystemFilter(fs.ControlDevice()));
  EXPECT_EQ(static_cast<size_t>(ENUMERATION_ATTEMPTS * 9), volumes.size());
  EXPECT_EQ(0u, LivePoolBlocks(TAG_DEVICE_LIST));
  fs.Unregister();
  for (auto &volume : volumes) volume->Dismount();
}

struct AllocationFailure {
  const char *Name;
  ULONG Tag;         // pool tag that fails, or 0 for the device object itself
  size_t Skip;
  bool FileSystemFiltered;
  bool EarlyFiltered;  // the volume mounted before the file system registered
  bool LateFiltered;   // the volume mounted after
};

class AttachAllocation : public Attach, public ::testing::WithParamInterface<AllocationFailure> {};

// Whatever allocation fails while a file system registers or a volume mounts, the mount itself
// goes on, nothing half-made is left and nothing leaks.
TEST_P(AttachAllocation, FailureLeavesNoHalfMadeFilter) {
  const AllocationFailure &c = GetParam();
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  StorageVolume early(KTEXT("\\Device\\HarddiskVolume1"));
  StorageVolume late(KTEXT("\\Device\\HarddiskVolume2"));
  ASSERT_EQ(STATUS_SUCCESS, fs.MountDirectly(early));
  if (c.Tag == 0) {
    FailDeviceCreations(1, c.Skip);
  } else {
    FailPoolAllocations(1, c.Tag, c.Skip);
  }
  fs.Register();
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, CreateFile(late, KTEXT("a.txt"), FILE_CREATE, 0, file));
  EXPECT_EQ(c.FileSystemFiltered, FileSystemFilter(fs.ControlDevice()) != nullptr);
  EXPECT_EQ(c.EarlyFiltered, VolumeFilter(early) != nullptr);
  EXPECT_EQ(c.LateFiltered, VolumeFilter(late) != nullptr);
  EXPECT_EQ(0u, LivePoolBlocks(TAG_DEVICE_LIST));
  size_t devices = 0;
  for (PDEVICE_OBJECT device = driver_->DeviceObject; device; device = device->NextDevice) ++devices;
  EXPECT_EQ(1u + c.FileSystemFiltered + c.EarlyFiltered + c.LateFiltered, devices);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AttachAllocation,
    ::testing::Values(
        // Registration: the file system's name, its filter, its names, the volume list.
        AllocationFailure{"fs_name_buffer", TAG_NAME_BUFFER, 0, false, false, false},
        AllocationFailure{"fs_filter_device", 0, 0, false, false, false},
        AllocationFailure{"fs_volume_name", TAG_VOLUME_NAME, 0, false, false, false},
        AllocationFailure{"fs_match_name", TAG_MATCH_NAME, 0, false, false, false},
        AllocationFailure{"device_list", TAG_DEVICE_LIST, 0, false, false, false},
        // The volume mounted before: its filter device and names; the file system keeps its filter.
        AllocationFailure{"existing_volume_filter", 0, 1, true, false, true},
        AllocationFailure{"existing_volume_name", TAG_VOLUME_NAME, 1, true, false, true},
        AllocationFailure{"existing_volume_match_name", TAG_MATCH_NAME, 1, true, false, true},
        // The mount of the new volume: its filter device, name buffer and names.
        AllocationFailure{"mount_filter_device", 0, 2, true, true, false},
        AllocationFailure{"mount_name_buffer", TAG_NAME_BUFFER, 3, true, true, false},
        AllocationFailure{"mount_volume_name", TAG_VOLUME_NAME, 2, true, true, false},
        AllocationFailure{"mount_match_name", TAG_MATCH_NAME, 2, true, true, false}),
    [](const ::testing::TestParamInfo<AllocationFailure> &info) { return std::string(info.param.Name); });

// A lower driver may complete the mount from its DPC: the completion routine then runs at
// DISPATCH_LEVEL and may only wake the mounting thread or queue the work item.
class AttachAtDispatch : public Attach, public ::testing::WithParamInterface<ULONG> {
  KernelConfig Config() override {
    KernelConfig config;
    config.MajorVersion = 5;
    config.MinorVersion = GetParam();
    return config;
  }
};

TEST_P(AttachAtDispatch, MountCompletedAtDispatchLevelIsFollowed) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  fs.SetCompletionIrql(DISPATCH_LEVEL);
  StorageVolume now(KTEXT("\\Device\\HarddiskVolume3"));
  StorageVolume later(KTEXT("\\Device\\HarddiskVolume4"));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(now, KTEXT("a.txt"), FILE_CREATE, 0, file));
  file.Close();
  fs.SetMountMode(MemoryFileSystem::MountMode::Pending);
  ASSERT_EQ(STATUS_SUCCESS, CreateFile(later, KTEXT("a.txt"), FILE_CREATE, 0, file));
  file.Close();
  DrainWorkItems();
  EXPECT_NE(nullptr, VolumeFilter(now));
  EXPECT_NE(nullptr, VolumeFilter(later));
  fs.SetCompletionIrql(PASSIVE_LEVEL);
}

INSTANTIATE_TEST_SUITE_P(Versions, AttachAtDispatch, ::testing::Values(0u, 1u),
                         [](const ::testing::TestParamInfo<ULONG> &info) {
                           return std::string(info.param == 0 ? "windows_2000" : "windows_xp");
                         });

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
