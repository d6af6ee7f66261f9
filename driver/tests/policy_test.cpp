// The policy gate on a mounted volume: blocked, read-only, allowed, unnamed; exempt and System
// processes; cached states; network file systems; fast I/O.
#include "driver/tests/DriverFixture.h"

#include <cstring>
#include <functional>
#include <utility>

using namespace standin;

namespace drivertest {
namespace {

const KString kStick = KTEXT("\\Device\\HarddiskVolume9");
const KString kOther = KTEXT("\\Device\\HarddiskVolume1");

class Policy : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    BeforeLoad();
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
  virtual void BeforeLoad() {}
  NTSTATUS Open(FileHandle &file, ULONG disposition = FILE_OPEN, ULONG options = 0,
                const KString &name = KTEXT("old.txt"), ACCESS_MASK access = FILE_GENERIC_READ) {
    return CreateFile(*volume_, name, disposition, options, file, nullptr, access);
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

struct ReadOnlyCase {
  const char *Name;
  UCHAR Major;
  ULONG Disposition;  // creates
  ULONG Options;
  ACCESS_MASK Access;
  const char *File;   // the file a create names
  NTSTATUS Expected;
};

class PolicyReadOnly : public Policy, public ::testing::WithParamInterface<ReadOnlyCase> {};

// Supersede, overwrite and delete-on-close change an existing file as surely as a create; an
// open for writing would let a writable mapping reach the file later through the System
// process; open-if used to create the file it did not find.
TEST_P(PolicyReadOnly, RefusesWhatWouldChangeTheVolume) {
  const ReadOnlyCase &c = GetParam();
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  FileHandle file;
  if (c.Major == IRP_MJ_CREATE) {
    KString name(c.File, c.File + strlen(c.File));
    EXPECT_EQ(c.Expected, Open(file, c.Disposition, c.Options, name, c.Access)) << c.Name;
    EXPECT_EQ(3u, volume_->Files[KTEXT("old.txt")].size());
    EXPECT_EQ(0u, volume_->Files.count(KTEXT("new.txt")));
    return;
  }
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  EXPECT_EQ(c.Expected, SendRequest(file, c.Major)) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PolicyReadOnly,
    ::testing::Values(
        ReadOnlyCase{"open", IRP_MJ_CREATE, FILE_OPEN, 0, FILE_GENERIC_READ, "old.txt", STATUS_SUCCESS},
        ReadOnlyCase{"open-if", IRP_MJ_CREATE, FILE_OPEN_IF, 0, FILE_GENERIC_READ, "old.txt", STATUS_SUCCESS},
        ReadOnlyCase{"open-if-missing", IRP_MJ_CREATE, FILE_OPEN_IF, 0, FILE_GENERIC_READ, "new.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-missing", IRP_MJ_CREATE, FILE_OPEN, 0, FILE_GENERIC_READ, "new.txt",
                     STATUS_OBJECT_NAME_NOT_FOUND},
        ReadOnlyCase{"open-for-writing", IRP_MJ_CREATE, FILE_OPEN, 0, FILE_WRITE_DATA, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-for-appending", IRP_MJ_CREATE, FILE_OPEN, 0, FILE_APPEND_DATA | SYNCHRONIZE, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-generic-write", IRP_MJ_CREATE, FILE_OPEN, 0, GENERIC_WRITE, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-if-for-writing", IRP_MJ_CREATE, FILE_OPEN_IF, 0, FILE_GENERIC_WRITE, "new.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-attributes-only", IRP_MJ_CREATE, FILE_OPEN, 0, FILE_READ_ATTRIBUTES, "old.txt",
                     STATUS_SUCCESS},
        // The file system grants whatever the file allows, write access with it.
        ReadOnlyCase{"open-maximum-allowed", IRP_MJ_CREATE, FILE_OPEN, 0, MAXIMUM_ALLOWED, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"open-if-maximum-allowed", IRP_MJ_CREATE, FILE_OPEN_IF, 0, MAXIMUM_ALLOWED | SYNCHRONIZE,
                     "old.txt", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"create", IRP_MJ_CREATE, FILE_CREATE, 0, FILE_GENERIC_READ, "new.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"supersede", IRP_MJ_CREATE, FILE_SUPERSEDE, 0, FILE_GENERIC_READ, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"overwrite", IRP_MJ_CREATE, FILE_OVERWRITE, 0, FILE_GENERIC_READ, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"overwrite-if", IRP_MJ_CREATE, FILE_OVERWRITE_IF, 0, FILE_GENERIC_READ, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"delete-on-close", IRP_MJ_CREATE, FILE_OPEN, FILE_DELETE_ON_CLOSE, FILE_GENERIC_READ, "old.txt",
                     STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"set-ea", IRP_MJ_SET_EA, 0, 0, 0, "", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"flush", IRP_MJ_FLUSH_BUFFERS, 0, 0, 0, "", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"set-volume", IRP_MJ_SET_VOLUME_INFORMATION, 0, 0, 0, "", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"set-quota", IRP_MJ_SET_QUOTA, 0, 0, 0, "", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"set-security", IRP_MJ_SET_SECURITY, 0, 0, 0, "", STATUS_MEDIA_WRITE_PROTECTED},
        ReadOnlyCase{"query-security", IRP_MJ_QUERY_SECURITY, 0, 0, 0, "", STATUS_SUCCESS},
        ReadOnlyCase{"directory", IRP_MJ_DIRECTORY_CONTROL, 0, 0, 0, "", STATUS_SUCCESS},
        ReadOnlyCase{"device-control", IRP_MJ_DEVICE_CONTROL, 0, 0, 0, "", STATUS_SUCCESS}),
    [](const ::testing::TestParamInfo<ReadOnlyCase> &info) {
      std::string name = info.param.Name;
      for (char &c : name)
        if (c == '-') c = '_';
      return name;
    });

struct FsControlCase {
  const char *Name;
  ULONG Code;  // the value the platform documents, so that a wrong definition shows as well
  bool Writes;
};

std::vector<FsControlCase> FsControlCases() {
  return {
      // The access field asks for write access: refused, whether the driver knows the code or not.
      {"set_compression", 0x0009C040, true},
      {"sis_link_files", 0x0009C104, true},
      {"make_media_compatible", 0x00098130, true},
      {"txfs_modify_rm", 0x00098144, true},
      {"file_level_trim", 0x00098208, true},
      {"offload_write", 0x00098268, true},
      {"duplicate_extents", 0x00098344, true},
      {"code_yet_to_come", CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 900, METHOD_BUFFERED, FILE_WRITE_DATA), true},
      // Changing although they ask for less: every row of the driver's table.
      {"mark_volume_dirty", 0x00090030, true},
      {"move_file", 0x00090074, true},
      {"set_object_id", 0x00090098, true},
      {"delete_object_id", 0x000900A0, true},
      {"set_reparse_point", 0x000900A4, true},
      {"delete_reparse_point", 0x000900AC, true},
      {"set_object_id_extended", 0x000900BC, true},
      {"create_or_get_object_id", 0x000900C0, true},
      {"set_sparse", 0x000900C4, true},
      {"set_encryption", 0x000900D7, true},
      {"encryption_fsctl_io", 0x000900DB, true},
      {"write_raw_encrypted", 0x000900DF, true},
      {"create_usn_journal", 0x000900E7, true},
      {"write_usn_close_record", 0x000900EF, true},
      {"extend_volume", 0x000900F0, true},
      {"delete_usn_journal", 0x000900F8, true},
      {"sis_copyfile", 0x00090100, true},
      {"set_volume_compression_state", 0x00090140, true},
      {"set_zero_on_deallocation", 0x00090194, true},
      {"set_repair", 0x00090198, true},
      {"initiate_repair", 0x000901A8, true},
      {"shrink_volume", 0x000901B0, true},
      {"sd_global_change", 0x000901F4, true},
      {"txfs_write_backup_information2", 0x00090200, true},
      {"set_persistent_volume_state", 0x00090238, true},
      {"write_usn_reason", 0x000902D0, true},
      {"usn_track_modified_ranges", 0x000902F4, true},
      {"set_external_backing", 0x0009030C, true},
      {"delete_external_backing", 0x00090314, true},
      {"initiate_file_metadata_optimization", 0x0009035C, true},
      {"set_integrity_information_ex", 0x00090380, true},
      {"set_reparse_point_ex", 0x0009040C, true},
      {"recall_file", 0x00090117, true},
      {"write_property_data", 0x0009008B, true},
      {"set_short_name_behavior", 0x000901B4, true},
      {"dedup_file", 0x00090294, true},
      {"scrub_data", 0x000902B0, true},
      {"advance_file_id", 0x000902C4, true},
      {"sparse_overallocate", 0x0009034C, true},
      {"clean_volume_metadata", 0x0009037C, true},
      {"unmap_space", 0x000903B4, true},
      {"refs_deallocate_ranges", 0x000903D8, true},
      {"set_refs_smr_volume_gc_parameters", 0x000903E0, true},
      {"set_refs_file_strictly_sequential", 0x000903E4, true},
      {"delete_corrupted_refs_container", 0x000903F4, true},
      {"encryption_key_control", 0x00090404, true},
      {"refs_stream_snapshot_management", 0x00090440, true},
      {"refs_deallocate_ranges_ex", 0x0009044C, true},
      {"refs_set_volume_compression_info", 0x00090454, true},
      {"duplicate_cluster", 0x0009045C, true},
      {"create_lcn_weak_reference", 0x00090460, true},
      {"clear_lcn_weak_reference", 0x00090464, true},
      {"clear_all_lcn_weak_references", 0x0009046C, true},
      {"refs_set_volume_dedup_info", 0x00090470, true},
      {"refs_checkpoint_volume", 0x0009047C, true},
      {"upgrade_volume", 0x00090484, true},
      {"refs_set_volume_io_metrics_info", 0x00090488, true},
      {"refs_set_rollback_protection_info", 0x00090490, true},
      {"cascades_refs_set_file_remote", 0x0009049C, true},
      // Oplocks, locks and queries.
      {"request_oplock", 0x00090240, false},
      {"lock_volume", 0x00090018, false},
      {"is_volume_mounted", 0x00090028, false},
      {"get_retrieval_pointers", 0x00090073, false},
      {"get_object_id", 0x0009009C, false},
      {"query_allocated_ranges", 0x000940CF, false},
      {"offload_read", 0x00094264, false},
      {"get_repair", 0x0009019C, false},
  };
}

class PolicyFsControl : public Policy, public ::testing::WithParamInterface<FsControlCase> {};

// Controls that change data or metadata used to pass to the file system whatever the state.
TEST_P(PolicyFsControl, ChangingControlsFollowTheVolumeStateReadingOnesPass) {
  const FsControlCase &c = GetParam();
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  for (UCHAR minor : {IRP_MN_USER_FS_REQUEST, IRP_MN_KERNEL_CALL}) {
    EXPECT_EQ(c.Writes ? STATUS_MEDIA_WRITE_PROTECTED : STATUS_SUCCESS, FileSystemControl(file, c.Code, minor));
  }
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(c.Writes ? STATUS_OBJECT_PATH_NOT_FOUND : STATUS_SUCCESS, FileSystemControl(file, c.Code));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_ALLOW}}));
  EXPECT_EQ(STATUS_SUCCESS, FileSystemControl(file, c.Code));
  SetCurrentProcessId(4);
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  EXPECT_EQ(STATUS_SUCCESS, FileSystemControl(file, c.Code));
}

INSTANTIATE_TEST_SUITE_P(Codes, PolicyFsControl, ::testing::ValuesIn(FsControlCases()),
                         [](const ::testing::TestParamInfo<FsControlCase> &info) { return std::string(info.param.Name); });

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

// Exemptions were keyed by process id alone and outlived their process, so a later process
// given the same id inherited the bypass.
TEST_F(Policy, ExemptionEndsWhenItsProcessExits) {
  StartProcess(2000);
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  ASSERT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 1000));
  ASSERT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 1000));
  ASSERT_EQ(STATUS_SUCCESS, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 2000));
  EXPECT_EQ(1u, ProcessNotifyRoutines());
  EndProcess(1000);
  EXPECT_EQ(1u, LivePoolBlocks(TAG_EXEMPT_PROCESS));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  SetCurrentProcessId(2000);
  EXPECT_EQ(STATUS_SUCCESS, Open(file));
}

// An exemption was given to an id without a process, and to one whose process had begun to
// exit after its exit was reported; the process that got the id next inherited it.
TEST_F(Policy, ExemptionIsGivenOnlyToARunningProcess) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 3000));
  StartProcess(2000);
  PEPROCESS exited = nullptr;
  ASSERT_EQ(STATUS_SUCCESS, PsLookupProcessByProcessId(reinterpret_cast<HANDLE>(ULONG_PTR(2000)), &exited));
  EndProcess(2000);
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 2000));
  ObDereferenceObject(exited);
  EXPECT_EQ(0u, LivePoolBlocks(TAG_EXEMPT_PROCESS));
  for (ULONG pid : {3000u, 2000u}) {
    SetCurrentProcessId(pid);
    FileHandle file;
    EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file)) << pid;
  }
}

class PolicyWithoutProcessExitRoutine : public Policy {
  void BeforeLoad() override { FailProcessNotifyRegistration(STATUS_INSUFFICIENT_RESOURCES); }
};

// The driver refused to load, so nothing was filtered at all.
TEST_F(PolicyWithoutProcessExitRoutine, FiltersButGivesNoExemptions) {
  EXPECT_EQ(0u, ProcessNotifyRoutines());
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_INVALID_DEVICE_STATE, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 1000));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  EXPECT_EQ(0u, LivePoolBlocks(TAG_EXEMPT_PROCESS));
}

// A table may name a volume in any case, also beyond ASCII; the comparison under the rule and
// pending-list locks used to run the pageable routine, which the stand-in reports there.
TEST_F(Policy, NamesAreComparedWithoutPageableCodeUnderTheLocks) {
  StorageVolume accented(KTEXT("\\Device\\Volume\u00C9t\u00E9"));
  StorageVolume unnamed(KTEXT("\\Device\\Fresh\u00E9"));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{KTEXT("\\device\\harddiskvolume9"), VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{KTEXT("\\DEVICE\\VOLUME\u00C9T\u00C9"), VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, CreateFile(accented, KTEXT("a"), FILE_OPEN_IF, 0, file));
  // The pending list is searched the same way.
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  EXPECT_EQ(STATUS_SUCCESS, CreateFile(unnamed, KTEXT("a"), FILE_OPEN_IF, 0, file));
  file.Close();
  ULONGLONG waited = Now();
  EXPECT_EQ(STATUS_SUCCESS, CreateFile(unnamed, KTEXT("a"), FILE_OPEN_IF, 0, file));
  EXPECT_EQ(waited, Now());
  EXPECT_TRUE(Violations().empty());
}

// The pool choice asked the system at every allocation, also at APC_LEVEL, where the question
// may not be asked.
TEST_F(Policy, RequestsAtApcLevelAreDecidedAsAtPassiveLevel) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  FileHandle file;
  {
    IrqlRaise apc(APC_LEVEL);
    EXPECT_EQ(STATUS_SUCCESS, Open(file));
    EXPECT_EQ(Milliseconds(100 * 100), Now());
    file.Close();
  }
  EXPECT_EQ(1u, LivePoolBlocks(TAG_PENDING_VOLUME));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  {
    IrqlRaise apc(APC_LEVEL);
    EXPECT_EQ(STATUS_SUCCESS, Open(file));
    EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, WriteByte(file));
    ULONG attributes = 0;
    EXPECT_EQ(STATUS_SUCCESS, QueryVolumeAttributes(file, attributes));
    EXPECT_NE(0u, attributes & FILE_READ_ONLY_VOLUME);
    FileHandle other;
    EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, Open(other, FILE_OPEN_IF, 0, KTEXT("new.txt")));
    file.Close();
  }
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, VOLUME_ACCESS_BLOCK}}));
  IrqlRaise apc(APC_LEVEL);
  EXPECT_EQ(STATUS_OBJECT_PATH_NOT_FOUND, Open(file));
}

// What the memory manager sends: a page fault's read on a read-only volume passes, and the
// writable mapping a paging write would come from cannot be made.
TEST_F(Policy, PagingReadsPassAndWritableMappingsCannotStartOnReadOnlyVolumes) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  FileHandle writable;
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, Open(writable, FILE_OPEN, 0, KTEXT("old.txt"), FILE_GENERIC_READ | FILE_WRITE_DATA));
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  UCHAR page[4] = {};
  ULONG read = 0;
  {
    IrqlRaise apc(APC_LEVEL);
    EXPECT_EQ(STATUS_SUCCESS, PagingRead(file, 0, page, sizeof page, &read));
  }
  EXPECT_EQ(3u, read);
  EXPECT_EQ(1u, fs_->PagingRequests());
  // An ordinary process's paging write is refused like any write; the System process's passes.
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, PagingWrite(file, 0, page, 1, &read));
  SetCurrentProcessId(4);
  EXPECT_EQ(STATUS_SUCCESS, PagingWrite(file, 0, page, 1, &read));
  EXPECT_EQ(2u, fs_->PagingRequests());
}

struct QueryCase {
  const char *Name;
  bool Pend;
  KIRQL CompletionIrql;
  NTSTATUS Failure;
};

class PolicyAttributeQuery : public Policy, public ::testing::WithParamInterface<QueryCase> {};

// The query is sent down with a completion routine; the file system may answer later, from
// another thread, at DISPATCH_LEVEL, or fail.
TEST_P(PolicyAttributeQuery, ReadOnlyVolumeMarksOnlyASuccessfulAnswer) {
  const QueryCase &c = GetParam();
  FileHandle file;
  ASSERT_EQ(STATUS_SUCCESS, Open(file));
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  if (c.Pend) fs_->PendRequests(IRP_MJ_QUERY_VOLUME_INFORMATION);
  if (c.Failure != STATUS_SUCCESS) fs_->FailRequests(IRP_MJ_QUERY_VOLUME_INFORMATION, c.Failure);
  fs_->SetCompletionIrql(c.CompletionIrql);
  ULONG attributes = 0;
  EXPECT_EQ(c.Failure, QueryVolumeAttributes(file, attributes));
  EXPECT_EQ(c.Failure == STATUS_SUCCESS ? static_cast<ULONG>(FILE_READ_ONLY_VOLUME | 0x3) : 0u, attributes);
  fs_->SetCompletionIrql(PASSIVE_LEVEL);
}

INSTANTIATE_TEST_SUITE_P(Answers, PolicyAttributeQuery,
                         ::testing::Values(QueryCase{"at_once", false, PASSIVE_LEVEL, STATUS_SUCCESS},
                                           QueryCase{"pending", true, PASSIVE_LEVEL, STATUS_SUCCESS},
                                           QueryCase{"pending_at_dispatch", true, DISPATCH_LEVEL, STATUS_SUCCESS},
                                           QueryCase{"at_dispatch", false, DISPATCH_LEVEL, STATUS_SUCCESS},
                                           QueryCase{"failed", false, PASSIVE_LEVEL, STATUS_INVALID_DEVICE_REQUEST},
                                           QueryCase{"failed_at_dispatch", false, DISPATCH_LEVEL,
                                                     STATUS_INSUFFICIENT_RESOURCES}),
                         [](const ::testing::TestParamInfo<QueryCase> &info) { return std::string(info.param.Name); });

// The opens that are waited for may come back later, or at DISPATCH_LEVEL.
TEST_F(Policy, OpensAnsweredLaterOrAtDispatchLevelAreDecidedAlike) {
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{kStick, VOLUME_ACCESS_READ_ONLY}}));
  fs_->PendRequests(IRP_MJ_CREATE);
  fs_->SetCompletionIrql(DISPATCH_LEVEL);
  FileHandle file;
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, Open(file, FILE_OPEN_IF, 0, KTEXT("new.txt")));
  EXPECT_EQ(STATUS_MEDIA_WRITE_PROTECTED, Open(file, FILE_OPEN, 0, KTEXT("old.txt"), MAXIMUM_ALLOWED));
  EXPECT_EQ(0u, volume_->Files.count(KTEXT("new.txt")));
  EXPECT_EQ(STATUS_SUCCESS, Open(file, FILE_OPEN_IF));
  file.Close();
  fs_->SetCompletionIrql(PASSIVE_LEVEL);
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

// A lower table whose every entry counts its calls and answers TRUE.
struct CountingFastIo {
  static size_t calls;
  static BOOLEAN Count() { return ++calls, TRUE; }
  static FAST_IO_DISPATCH Table() {
    FAST_IO_DISPATCH table;
    memset(&table, 0, sizeof table);
    table.SizeOfFastIoDispatch = sizeof table;
    table.FastIoCheckIfPossible = [](PFILE_OBJECT, PLARGE_INTEGER, ULONG, BOOLEAN, ULONG, BOOLEAN, PIO_STATUS_BLOCK,
                                     PDEVICE_OBJECT) { return Count(); };
    table.FastIoRead = [](PFILE_OBJECT, PLARGE_INTEGER, ULONG, BOOLEAN, ULONG, PVOID, PIO_STATUS_BLOCK,
                          PDEVICE_OBJECT) { return Count(); };
    table.FastIoWrite = table.FastIoRead;
    table.FastIoQueryBasicInfo = [](PFILE_OBJECT, BOOLEAN, PFILE_BASIC_INFORMATION, PIO_STATUS_BLOCK,
                                    PDEVICE_OBJECT) { return Count(); };
    table.FastIoQueryStandardInfo = [](PFILE_OBJECT, BOOLEAN, PFILE_STANDARD_INFORMATION, PIO_STATUS_BLOCK,
                                       PDEVICE_OBJECT) { return Count(); };
    table.FastIoLock = [](PFILE_OBJECT, PLARGE_INTEGER, PLARGE_INTEGER, PEPROCESS, ULONG, BOOLEAN, BOOLEAN,
                          PIO_STATUS_BLOCK, PDEVICE_OBJECT) { return Count(); };
    table.FastIoDeviceControl = [](PFILE_OBJECT, BOOLEAN, PVOID, ULONG, PVOID, ULONG, ULONG, PIO_STATUS_BLOCK,
                                   PDEVICE_OBJECT) { return Count(); };
    table.FastIoQueryNetworkOpenInfo = [](PFILE_OBJECT, BOOLEAN, PFILE_NETWORK_OPEN_INFORMATION, PIO_STATUS_BLOCK,
                                          PDEVICE_OBJECT) { return Count(); };
    table.MdlRead = [](PFILE_OBJECT, PLARGE_INTEGER, ULONG, ULONG, PMDL *, PIO_STATUS_BLOCK, PDEVICE_OBJECT) {
      return Count();
    };
    table.PrepareMdlWrite = table.MdlRead;
    table.FastIoReadCompressed = [](PFILE_OBJECT, PLARGE_INTEGER, ULONG, ULONG, PVOID, PMDL *, PIO_STATUS_BLOCK,
                                    PCOMPRESSED_DATA_INFO, ULONG, PDEVICE_OBJECT) { return Count(); };
    table.FastIoWriteCompressed = table.FastIoReadCompressed;
    table.FastIoQueryOpen = [](PIRP, PFILE_NETWORK_OPEN_INFORMATION, PDEVICE_OBJECT) { return Count(); };
    return table;
  }
};
size_t CountingFastIo::calls = 0;

// Each entry that starts an operation on a volume, called as the I/O manager calls it.
std::vector<std::pair<const char *, std::function<BOOLEAN(PDEVICE_OBJECT)>>> GatedFastIoCalls() {
  static FILE_OBJECT file;
  static IO_STATUS_BLOCK status;
  static LARGE_INTEGER offset, length;
  static UCHAR buffer[16];
  static FILE_BASIC_INFORMATION basic;
  static FILE_STANDARD_INFORMATION standard;
  static FILE_NETWORK_OPEN_INFORMATION network;
  static PMDL chain;
  const FAST_IO_DISPATCH &f = gFastIoDispatch;
  return {
      {"check_if_possible", [&f](PDEVICE_OBJECT d) { return f.FastIoCheckIfPossible(&file, &offset, 1, TRUE, 0, FALSE, &status, d); }},
      {"read", [&f](PDEVICE_OBJECT d) { return f.FastIoRead(&file, &offset, 1, TRUE, 0, buffer, &status, d); }},
      {"write", [&f](PDEVICE_OBJECT d) { return f.FastIoWrite(&file, &offset, 1, TRUE, 0, buffer, &status, d); }},
      {"query_basic", [&f](PDEVICE_OBJECT d) { return f.FastIoQueryBasicInfo(&file, TRUE, &basic, &status, d); }},
      {"query_standard", [&f](PDEVICE_OBJECT d) { return f.FastIoQueryStandardInfo(&file, TRUE, &standard, &status, d); }},
      {"lock", [&f](PDEVICE_OBJECT d) { return f.FastIoLock(&file, &offset, &length, nullptr, 0, TRUE, TRUE, &status, d); }},
      {"device_control", [&f](PDEVICE_OBJECT d) { return f.FastIoDeviceControl(&file, TRUE, buffer, 4, buffer, 4, 0x70000, &status, d); }},
      {"query_network_open", [&f](PDEVICE_OBJECT d) { return f.FastIoQueryNetworkOpenInfo(&file, TRUE, &network, &status, d); }},
      {"mdl_read", [&f](PDEVICE_OBJECT d) { return f.MdlRead(&file, &offset, 1, 0, &chain, &status, d); }},
      {"prepare_mdl_write", [&f](PDEVICE_OBJECT d) { return f.PrepareMdlWrite(&file, &offset, 1, 0, &chain, &status, d); }},
      {"read_compressed", [&f](PDEVICE_OBJECT d) { return f.FastIoReadCompressed(&file, &offset, 1, 0, buffer, &chain, &status, nullptr, 0, d); }},
      {"write_compressed", [&f](PDEVICE_OBJECT d) { return f.FastIoWriteCompressed(&file, &offset, 1, 0, buffer, &chain, &status, nullptr, 0, d); }},
      {"query_open", [&f](PDEVICE_OBJECT d) {
         IRP irp = {};
         IO_STACK_LOCATION stack = {};
         stack.DeviceObject = d;
         irp.Tail.Overlay.CurrentStackLocation = &stack;
         return f.FastIoQueryOpen(&irp, &network, d);
       }},
  };
}

// Declined (FALSE, the file system not called) wherever the volume is not known to be allowed:
// the I/O manager then sends a request packet, which the policy gate decides.
TEST_F(Policy, EveryGatedFastIoEntryTakesTheFastPathOnlyOnAllowedVolumes) {
  PDEVICE_OBJECT filter = VolumeFilter(*volume_);
  ASSERT_NE(nullptr, filter);
  FAST_IO_DISPATCH counting = CountingFastIo::Table();
  fs_->Driver()->FastIoDispatch = &counting;
  const struct {
    LONG State;
    ULONG Pid;
    bool Fast;
  } states[] = {{VOLUME_ACCESS_ALLOW, 1000, true},
                {VOLUME_ACCESS_BLOCK, 1000, false},
                {VOLUME_ACCESS_READ_ONLY, 1000, false},
                {VOLUME_ACCESS_READ_ONLY, 4, true},
                {VOLUME_ACCESS_BLOCK, 4, false}};
  for (const auto &state : states) {
    ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kStick, state.State}}));
    SetCurrentProcessId(state.Pid);
    for (const auto &call : GatedFastIoCalls()) {
      size_t before = CountingFastIo::calls;
      EXPECT_EQ(state.Fast ? TRUE : FALSE, call.second(filter)) << call.first << " state " << state.State;
      EXPECT_EQ(before + (state.Fast ? 1 : 0), CountingFastIo::calls) << call.first << " state " << state.State;
    }
  }
  // A volume no table has named yet is not known: declined without waiting.
  ASSERT_EQ(STATUS_SUCCESS, SetRules(1, {{kOther, VOLUME_ACCESS_BLOCK}}));
  ExtensionOf(filter)->CachedState = VOLUME_ACCESS_UNKNOWN;
  for (const auto &call : GatedFastIoCalls()) EXPECT_FALSE(call.second(filter)) << call.first;
  EXPECT_EQ(0u, Now());
  fs_->SetFastIo(true);
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
