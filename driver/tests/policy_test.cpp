// The policy gate on a mounted volume: blocked, read-only, allowed, unnamed; exempt and System
// processes; cached states; network file systems; fast I/O.
#include "driver/tests/DriverFixture.h"

#include <cstring>

using namespace standin;

namespace drivertest {
namespace {

const KString kStick = KTEXT("\\Device\\HarddiskVolume9");
const KString kOther = KTEXT("\\Device\\HarddiskVolume1");

class Policy : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
    fs_.reset(new MemoryFileSystem(KTEXT("Fat")));
    fs_->Register();
    volume_.reset(new StorageVolume(kStick));
    volume_->Files[KTEXT("old.txt")] = {1, 2, 3};
    ASSERT_EQ(STATUS_SUCCESS, MountVolume(*volume_));
  }
  void TearDown() override {
    volume_.reset();
    fs_.reset();
    DriverTest::TearDown();
  }
  NTSTATUS Open(FileHandle &file, ULONG disposition = FILE_OPEN, ULONG options = 0,
                const KString &name = KTEXT("old.txt")) {
    return CreateFile(*volume_, name, disposition, options, file);
  }
  NTSTATUS WriteByte(FileHandle &file, bool cached = false) {
    UCHAR byte = 7;
    ULONG written = 0;
    return WriteFile(file, 0, &byte, 1, &written, cached);
  }

  std::unique_ptr<MemoryFileSystem> fs_;
  std::unique_ptr<StorageVolume> volume_;
};

TEST_F(Policy, BlockedVolumeFailsRequestsButPlugAndPlay) {
  FileHandle before;
  ASSERT_EQ(STATUS_SUCCESS, Open(before));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  UCHAR buffer[4];
  ULONG read = 0;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, ReadFile(before, 0, buffer, 4, &read));
  EXPECT_EQ(STATUS_SUCCESS, SendRequest(before, IRP_MJ_PNP));
  SetCurrentProcessId(4);
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
}

// Handles opened before a block must still be released by the file system.
TEST_F(Policy, BlockedVolumePassesCleanupAndClose) {
  FileHandle before;
  ASSERT_EQ(STATUS_SUCCESS, Open(before, FILE_OPEN, FILE_DELETE_ON_CLOSE));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_SUCCESS, before.Close());
  EXPECT_EQ(0u, volume_->Files.count(KTEXT("old.txt")));
}

TEST_F(Policy, FileSystemControlOnBlockedVolumePasses) {
  FileHandle before;
  ASSERT_EQ(STATUS_SUCCESS, Open(before));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_SUCCESS, SendRequest(before, IRP_MJ_FILE_SYSTEM_CONTROL, IRP_MN_USER_FS_REQUEST));
}

struct ReadOnlyCase {
  const char *Name;
  UCHAR Major;
  ULONG Disposition;  // creates
  ULONG Options;
  NTSTATUS Expected;
};

class PolicyReadOnly : public Policy, public ::testing::WithParamInterface<ReadOnlyCase> {};

// Supersede, overwrite and delete-on-close change an existing file as surely as a create.
TEST_P(PolicyReadOnly, RefusesWhatWouldChangeTheVolume) {
  const ReadOnlyCase &c = GetParam();
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  FileHandle file;
  if (c.Major == IRP_MJ_CREATE) {
    EXPECT_EQ(c.Expected, Open(file, c.Disposition, c.Options)) << c.Name;
    EXPECT_EQ(3u, volume_->Files[KTEXT("old.txt")].size());
    return;
  }
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(c.Expected, SendRequest(file, c.Major)) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PolicyReadOnly,
    ::testing::Values(ReadOnlyCase{"open", IRP_MJ_CREATE, FILE_OPEN, 0, STATUS_SUCCESS},
                      ReadOnlyCase{"open-if", IRP_MJ_CREATE, FILE_OPEN_IF, 0, STATUS_SUCCESS},
                      ReadOnlyCase{"create", IRP_MJ_CREATE, FILE_CREATE, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"supersede", IRP_MJ_CREATE, FILE_SUPERSEDE, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"overwrite", IRP_MJ_CREATE, FILE_OVERWRITE, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"overwrite-if", IRP_MJ_CREATE, FILE_OVERWRITE_IF, 0,
                                   STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"delete-on-close", IRP_MJ_CREATE, FILE_OPEN, FILE_DELETE_ON_CLOSE,
                                   STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"set-ea", IRP_MJ_SET_EA, 0, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"flush", IRP_MJ_FLUSH_BUFFERS, 0, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"set-volume", IRP_MJ_SET_VOLUME_INFORMATION, 0, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"set-quota", IRP_MJ_SET_QUOTA, 0, 0, STATUS_MEDIA_WRITE_PROTECTED},
                      ReadOnlyCase{"directory", IRP_MJ_DIRECTORY_CONTROL, 0, 0, STATUS_SUCCESS},
                      ReadOnlyCase{"device-control", IRP_MJ_DEVICE_CONTROL, 0, 0, STATUS_SUCCESS}),
    [](const ::testing::TestParamInfo<ReadOnlyCase> &info) {
      std::string name = info.param.Name;
      for (char &c : name)
        if (c == '-') c = '_';
      return name;
    });

TEST_F(Policy, ReadOnlyVolumeRefusesWritesRenamesAndDeletesButNotPositions) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY_ALT}}));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, WriteByte(file));
  EXPECT_EQ(STATUS_SUCCESS, SetFilePosition(file, 2));
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, RenameFile(file, KTEXT("new.txt")));
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, DeleteFile(file));
  UCHAR buffer[4];
  ULONG read = 0;
  EXPECT_EQ(STATUS_SUCCESS, ReadFile(file, 0, buffer, 4, &read));
  EXPECT_EQ(3u, read);
  ULONG attributes = 0;
  EXPECT_EQ(STATUS_SUCCESS, QueryVolumeAttributes(file, attributes));
  EXPECT_EQ(static_cast<ULONG>(FILE_READ_ONLY_VOLUME | 0x3), attributes);
}

TEST_F(Policy, SystemProcessWritesReadOnlyVolumes) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  SetCurrentProcessId(4);
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file, FILE_CREATE, 0, KTEXT("new.txt")));
  EXPECT_EQ(STATUS_SUCCESS, WriteByte(file));
}

TEST_F(Policy, ExemptProcessPassesUntilRemovedOncePerAddition) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  ASSERT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 1000));
  ASSERT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 1000));
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  file.Close();
  EXPECT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_REMOVE_EXEMPT_PROCESS, 1000));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  file.Close();
  EXPECT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_REMOVE_EXEMPT_PROCESS, 1000));
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  EXPECT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_REMOVE_EXEMPT_PROCESS, 4242));
}

TEST_F(Policy, ModeZeroOrEmptyTableFiltersNothing) {
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, SetRules(0, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  file.Close();
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {}));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(0u, Now());
}

TEST_F(Policy, NamesMatchWhateverTheirCase) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{KTEXT("\\device\\HARDDISKVOLUME9"), VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
}

TEST_F(Policy, UnnamedVolumeWaitsTenSecondsThenPassesUntilTheNextTable) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(Milliseconds(100 * 100), Now());
  file.Close();
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(Milliseconds(100 * 100), Now());
  file.Close();
  EXPECT_EQ(1u, LivePoolBlocks(TAG_PENDING_VOLUME));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(0u, LivePoolBlocks(TAG_PENDING_VOLUME));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(Milliseconds(2 * 100 * 100), Now());
}

TEST_F(Policy, NoMemoryForTheTimerShortensTheWait) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  FailPoolAllocations(100, TAG_WAIT_TIMER);
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(0u, Now());
  EXPECT_EQ(1u, LivePoolBlocks(TAG_PENDING_VOLUME));
}

TEST_F(Policy, NoMemoryForThePendingEntryWaitsAgainNextTime) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  FailPoolAllocations(1, TAG_PENDING_VOLUME);
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  file.Close();
  EXPECT_EQ(0u, LivePoolBlocks(TAG_PENDING_VOLUME));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(Milliseconds(2 * 100 * 100), Now());
}

TEST_F(Policy, RuleArrivingDuringTheWaitDecides) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  At(Milliseconds(3000), [this] { SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}); });
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  EXPECT_EQ(Milliseconds(3000), Now());
}

TEST_F(Policy, CachedStateOutlivesTablesThatNoLongerNameTheVolume) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_ALLOW}}));
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  EXPECT_EQ(0u, Now());
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_ALLOW}}));
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
}

TEST_F(Policy, NetworkFileSystemsAreNeverFiltered) {
  MemoryFileSystem network(KTEXT("Redirector"), FILE_DEVICE_NETWORK_FILE_SYSTEM);
  StorageVolume share(KTEXT("\\Device\\Share"));
  network.ServeShare(share);
  network.Register();
  ASSERT_EQ(STATUS_SUCCESS,
            SetRules(1, {{KTEXT("\\FileSystem\\RedirectorCdo"), VOLUME_ACCESS_BLOCK}, {kStick, VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_SUCCESS, CreateFileOnDevice(network.ControlDevice(), KTEXT("x"), FILE_CREATE, 0, file));
  EXPECT_EQ(STATUS_SUCCESS, WriteByte(file));
  EXPECT_EQ(0u, Now());
}

// Cached writes used to reach read-only volumes through the fast path.
TEST_F(Policy, FastIoIsDeclinedOnBlockedAndReadOnlyVolumes) {
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  size_t fastCalls = fs_->FastIoCalls();
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, WriteByte(file, true));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  UCHAR buffer[4];
  ULONG read = 0;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, ReadFile(file, 0, buffer, 4, &read, true));
  FILE_STANDARD_INFORMATION info;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, QueryStandardInformation(file, info, true));
  EXPECT_EQ(fastCalls, fs_->FastIoCalls());
}

TEST_F(Policy, AllowedVolumesKeepTheFastPath) {
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_ALLOW}}));
  size_t fastCalls = fs_->FastIoCalls();
  EXPECT_EQ(STATUS_SUCCESS, WriteByte(file, true));
  UCHAR buffer[4];
  ULONG read = 0;
  EXPECT_EQ(STATUS_SUCCESS, ReadFile(file, 0, buffer, 4, &read, true));
  EXPECT_EQ(7, buffer[0]);
  EXPECT_EQ(fastCalls + 2, fs_->FastIoCalls());
}

TEST_F(Policy, FastIoWithoutALowerEntryIsDeclined) {
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  fs_->SetFastIo(false);
  EXPECT_EQ(STATUS_SUCCESS, WriteByte(file, true));
  fs_->SetFastIo(true);
}

TEST_F(Policy, FastIoEntryBeyondTheLowerTableIsDeclined) {
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  // Room for the read entry but not for the write entry after it.
  fs_->SetFastIoTableSize(static_cast<ULONG>(offsetof(FAST_IO_DISPATCH, FastIoWrite)));
  size_t fastCalls = fs_->FastIoCalls();
  EXPECT_EQ(STATUS_SUCCESS, WriteByte(file, true));
  EXPECT_EQ(fastCalls, fs_->FastIoCalls());
  UCHAR buffer[4];
  ULONG read = 0;
  EXPECT_EQ(STATUS_SUCCESS, ReadFile(file, 0, buffer, 4, &read, true));
  EXPECT_EQ(fastCalls + 1, fs_->FastIoCalls());
  fs_->SetFastIoTableSize(sizeof(FAST_IO_DISPATCH));
}

TEST_F(Policy, QueryOpenShowsTheFileSystemItsOwnDevice) {
  PDEVICE_OBJECT filter = VolumeFilter(*volume_);
  ASSERT_NE(nullptr, filter);
  IRP irp = {};
  IO_STACK_LOCATION stack = {};
  stack.MajorFunction = IRP_MJ_CREATE;
  stack.DeviceObject = filter;
  irp.Tail.Overlay.CurrentStackLocation = &stack;
  FILE_NETWORK_OPEN_INFORMATION information;
  EXPECT_TRUE(gFastIoDispatch.FastIoQueryOpen(&irp, &information, filter));
  EXPECT_EQ(volume_->MountedVolume(), fs_->QueryOpenStackDevice());
  EXPECT_EQ(filter, stack.DeviceObject);
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_FALSE(gFastIoDispatch.FastIoQueryOpen(&irp, &information, filter));
}

class PolicyOnWindows8 : public Policy {
  KernelConfig Config() override {
    KernelConfig config;
    config.MajorVersion = 6;
    config.MinorVersion = 2;
    return config;
  }
};

TEST_F(PolicyOnWindows8, AllocatesFromNoExecutePool) {
  size_t before = PoolAllocations(NonPagedPool);
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_ALLOW}}));
  EXPECT_EQ(before, PoolAllocations(NonPagedPool));
  EXPECT_LE(2u, PoolAllocations(NonPagedPoolNx));
}

}  // namespace
}  // namespace drivertest
