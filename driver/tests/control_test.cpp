// The control device: names, the one-open rule, the control codes and the rule table's checks,
// and the undo steps of the driver's start.
#include "driver/tests/DriverFixture.h"

using namespace standin;

namespace drivertest {
namespace {

class Control : public DriverTest {};

TEST_F(Control, DeviceUnderFiltersDirectoryWithItsLink) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  PDEVICE_OBJECT device = static_cast<PDEVICE_OBJECT>(LookupObject(KTEXT("\\FileSystem\\Filters\\QEVRINd")));
  ASSERT_NE(nullptr, device);
  EXPECT_EQ(device, LookupObject(KTEXT("\\??\\QEVRINd")));
  EXPECT_EQ(static_cast<DEVICE_TYPE>(FILE_DEVICE_UNKNOWN), device->DeviceType);
  EXPECT_EQ(static_cast<ULONG>(FILE_DEVICE_SECURE_OPEN), device->Characteristics);
  EXPECT_EQ(static_cast<ULONG>(DO_EXCLUSIVE), device->Flags);
  EXPECT_EQ(nullptr, device->DeviceExtension);
  EXPECT_EQ(nullptr, driver_->DriverUnload);
}

class ControlWithoutFilters : public Control {
  KernelConfig Config() override {
    KernelConfig config;
    config.FiltersDirectory = false;
    return config;
  }
};

TEST_F(ControlWithoutFilters, FallsBackToTheFileSystemDirectory) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  PDEVICE_OBJECT device = static_cast<PDEVICE_OBJECT>(LookupObject(KTEXT("\\FileSystem\\QEVRINdCD0")));
  ASSERT_NE(nullptr, device);
  EXPECT_EQ(device, LookupObject(KTEXT("\\??\\QEVRINd")));
  EXPECT_EQ(static_cast<DEVICE_TYPE>(FILE_DEVICE_DISK_FILE_SYSTEM), device->DeviceType);
  EXPECT_EQ(0u, device->Flags);
  std::vector<UCHAR> version;
  EXPECT_EQ(STATUS_SUCCESS, Ioctl(IOCTL_FILTER_GET_VERSION, {}, &version, 8));
}

const char *const kSystem = "S-1-5-18";
const char *const kAdministrators = "S-1-5-32-544";
const std::vector<std::string> kOrdinaryUser = {"S-1-5-21-1004336348-1177238915-682003330-1001", "S-1-5-32-545",
                                                "S-1-5-11", "S-1-1-0"};

void ExpectAdminOnlyAccessList(PDEVICE_OBJECT device) {
  SecurityRecord security = ObjectSecurity(device);
  ASSERT_TRUE(security.Set);
  EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_PROTECTED, security.Control & (SE_DACL_PRESENT | SE_DACL_PROTECTED));
  ASSERT_EQ(2u, security.Dacl.size());
  EXPECT_EQ(kSystem, security.Dacl[0].Sid);
  EXPECT_EQ(kAdministrators, security.Dacl[1].Sid);
  for (const AceRecord &ace : security.Dacl) {
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace.Type);
    EXPECT_EQ(0, ace.Flags);
    EXPECT_EQ(static_cast<ACCESS_MASK>(FILE_ALL_ACCESS), ace.Mask);
  }
}

// The device had no access list, so any user could exempt himself or switch filtering off.
TEST_F(Control, OnlySystemAndAdministratorsMayOpenTheDevice) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  ExpectAdminOnlyAccessList(gControlDeviceObject);
  FileHandle control;
  SetCallerSids(kOrdinaryUser);
  EXPECT_EQ(STATUS_ACCESS_DENIED, OpenDevice(KTEXT("\\??\\QEVRINd"), control));
  SetCallerSids({kSystem});
  EXPECT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), control));
  control.Close();
  SetCallerSids({"S-1-5-21-1004336348-1177238915-682003330-500", kAdministrators});
  EXPECT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), control));
}

TEST_F(ControlWithoutFilters, FallbackDeviceAdmitsOnlySystemAndAdministratorsToo) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  ExpectAdminOnlyAccessList(gControlDeviceObject);
  FileHandle control;
  SetCallerSids(kOrdinaryUser);
  EXPECT_EQ(STATUS_ACCESS_DENIED, OpenDevice(KTEXT("\\??\\QEVRINd"), control));
}

TEST_F(Control, StaleLinkIsReplaced) {
  ASSERT_EQ(STATUS_SUCCESS, CreateSymbolicLinkObject(KTEXT("\\GLOBAL??\\QEVRINd"), KTEXT("\\Device\\Gone")));
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  EXPECT_EQ(gControlDeviceObject, LookupObject(KTEXT("\\??\\QEVRINd")));
}

TEST_F(Control, LinkThatCannotBeCreatedFailsTheStartWithoutLeftovers) {
  FailSymbolicLinkCreations(2);
  EXPECT_EQ(STATUS_INSUFFICIENT_RESOURCES, LoadFilter());
  EXPECT_EQ(nullptr, LookupObject(KTEXT("\\FileSystem\\Filters\\QEVRINd")));
  EXPECT_EQ(nullptr, driver_->DeviceObject);
  EXPECT_EQ(0u, ProcessNotifyRoutines());
}

TEST_F(Control, FailedRegistrationUndoesTheStart) {
  FailFsRegistrationChange(STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(STATUS_INSUFFICIENT_RESOURCES, LoadFilter());
  EXPECT_EQ(nullptr, LookupObject(KTEXT("\\??\\QEVRINd")));
  EXPECT_EQ(nullptr, driver_->DeviceObject);
  EXPECT_EQ(nullptr, driver_->FastIoDispatch);
  EXPECT_EQ(0u, ProcessNotifyRoutines());
  driver_ = nullptr;
}

TEST_F(Control, NoDriverObjectIsRefused) { EXPECT_EQ(STATUS_INVALID_PARAMETER, DriverEntry(nullptr, nullptr)); }

// The device is exclusive: the I/O manager itself refuses a second open.
TEST_F(Control, OneHandleAtATime) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  FileHandle first, second;
  ULONG_PTR information = 99;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), first));
  EXPECT_EQ(STATUS_ACCESS_DENIED, OpenDevice(KTEXT("\\??\\QEVRINd"), second));
  first.Close();
  EXPECT_EQ(STATUS_SUCCESS, CreateFileOnDevice(gControlDeviceObject, KString(), FILE_OPEN, 0, second, &information,
                                               GENERIC_READ | GENERIC_WRITE));
  EXPECT_EQ(static_cast<ULONG_PTR>(FILE_OPENED), information);
}

// The fallback device is not exclusive: there the driver's own rule answers.
TEST_F(ControlWithoutFilters, OneHandleAtATimeByTheDriversOwnRule) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  FileHandle first, second;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), first));
  EXPECT_EQ(STATUS_DEVICE_ALREADY_ATTACHED, OpenDevice(KTEXT("\\??\\QEVRINd"), second));
  first.Close();
  EXPECT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), second));
}

TEST_F(Control, VersionNeedsEightBytes) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  std::vector<UCHAR> version;
  ULONG_PTR information = 0;
  EXPECT_EQ(STATUS_SUCCESS, Ioctl(IOCTL_FILTER_GET_VERSION, {}, &version, 8, &information));
  EXPECT_EQ((std::vector<UCHAR>{1, 0, 0, 0, 1, 0, 1, 0}), version);
  EXPECT_EQ(8u, information);
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Ioctl(IOCTL_FILTER_GET_VERSION, {}, &version, 7, &information));
  EXPECT_EQ(0u, information);
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Ioctl(IOCTL_FILTER_GET_VERSION, {}));
}

TEST_F(Control, LongBuffersUseTheirLeadingBytes) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  std::vector<UCHAR> version;
  ULONG_PTR information = 0;
  EXPECT_EQ(STATUS_SUCCESS, Ioctl(IOCTL_FILTER_GET_VERSION, {9, 9, 9}, &version, 64, &information));
  EXPECT_EQ(8u, information);
  StartProcess(0x01020304);
  exempted_.push_back(0x01020304);
  EXPECT_EQ(STATUS_SUCCESS, Ioctl(IOCTL_FILTER_ADD_EXEMPT_PROCESS, {4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_FALSE(IsListEmpty(&gExemptProcessList));
  EXPECT_EQ(reinterpret_cast<HANDLE>(ULONG_PTR(0x01020304)),
            CONTAINING_RECORD(gExemptProcessList.Flink, EXEMPT_PROCESS_ENTRY, Links)->ProcessId);
}

TEST_F(Control, OtherCodesAndShortExemptInputsAreInvalid) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Ioctl(0x226010, {1, 2, 3, 4}));
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Ioctl(IOCTL_FILTER_ADD_EXEMPT_PROCESS, {1, 2, 3}));
  EXPECT_EQ(STATUS_INVALID_PARAMETER, Ioctl(IOCTL_FILTER_REMOVE_EXEMPT_PROCESS, {}));
  EXPECT_EQ(0u, LivePoolBlocks(TAG_EXEMPT_PROCESS));
}

TEST_F(Control, ExemptEntryWithoutMemoryIsRefused) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  FailPoolAllocations(1, TAG_EXEMPT_PROCESS);
  EXPECT_EQ(STATUS_INSUFFICIENT_RESOURCES, Exempt(IOCTL_FILTER_ADD_EXEMPT_PROCESS, 77));
}

TEST_F(Control, ReadsWritesAndFileSystemControlAreInvalidRequests) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  FileHandle control;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\??\\QEVRINd"), control));
  UCHAR byte = 0;
  ULONG count = 0;
  EXPECT_EQ(STATUS_INVALID_DEVICE_REQUEST, ReadFile(control, 0, &byte, 1, &count));
  EXPECT_EQ(STATUS_INVALID_DEVICE_REQUEST, SendRequest(control, IRP_MJ_FILE_SYSTEM_CONTROL, IRP_MN_MOUNT_VOLUME));
  EXPECT_EQ(STATUS_SUCCESS, SendRequest(control, IRP_MJ_CLEANUP));
}

// The fast path would run on the caller's raw pointers.
TEST_F(Control, FastDeviceControlIsDeclined) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  UCHAR version[8];
  IO_STATUS_BLOCK status = {};
  EXPECT_FALSE(gFastIoDispatch.FastIoDeviceControl(nullptr, TRUE, nullptr, 0, version, 8, IOCTL_FILTER_GET_VERSION,
                                                   &status, gControlDeviceObject));
}

struct TableCase {
  const char *Name;
  std::vector<UCHAR> Bytes;
  NTSTATUS Expected;
};

std::vector<UCHAR> Truncated(std::vector<UCHAR> bytes, size_t drop) {
  bytes.resize(bytes.size() - drop);
  return bytes;
}

std::vector<UCHAR> WithNameLength(ULONG length, size_t room) {
  std::vector<UCHAR> bytes;
  PutUlong(bytes, 1);
  PutUlong(bytes, 1);
  PutUlong(bytes, length);
  bytes.resize(bytes.size() + room, 'a');
  PutUlong(bytes, 1);
  return bytes;
}

// Trailing bytes up to `size`.
std::vector<UCHAR> Padded(std::vector<UCHAR> bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

std::vector<TableCase> TableCases() {
  std::vector<UCHAR> one = RuleTable(1, {{KTEXT("\\Device\\X"), 1}});
  std::vector<UCHAR> trailing = one;
  trailing.push_back(0xEE);
  std::vector<UCHAR> morePromised = one;
  morePromised[4] = 2;
  return {
      {"empty_header", RuleTable(1, {}), STATUS_SUCCESS},
      {"one_entry", one, STATUS_SUCCESS},
      {"trailing_bytes", trailing, STATUS_SUCCESS},
      {"empty_name", RuleTable(1, {{KString(), 1}}), STATUS_SUCCESS},
      {"short_header", {1, 0, 0, 0, 0, 0, 0}, STATUS_INVALID_PARAMETER},
      {"count_beyond_buffer", morePromised, STATUS_INVALID_PARAMETER},
      {"missing_state", Truncated(one, 1), STATUS_INVALID_PARAMETER},
      {"missing_name_length", Truncated(RuleTable(1, {{KString(), 1}}), 5), STATUS_INVALID_PARAMETER},
      {"name_beyond_buffer", WithNameLength(100, 10), STATUS_INVALID_PARAMETER},
      {"odd_name_length", WithNameLength(3, 3), STATUS_INVALID_PARAMETER},
      {"name_too_long_for_a_counted_string", WithNameLength(0xFFFE, 0xFFFE), STATUS_INVALID_PARAMETER},
      {"longest_name", WithNameLength(0xFFFC, 0xFFFC), STATUS_SUCCESS},
      {"largest_buffer", Padded(one, FILTER_MAX_RULE_TABLE_SIZE), STATUS_SUCCESS},
      {"buffer_beyond_the_largest", Padded(one, FILTER_MAX_RULE_TABLE_SIZE + 1), STATUS_INVALID_PARAMETER},
  };
}

class ControlTable : public Control, public ::testing::WithParamInterface<TableCase> {};

// A refused table leaves the one before it in force.
TEST_P(ControlTable, ValidatesBeforeAnythingChanges) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  ASSERT_EQ(STATUS_SUCCESS, SetRules(7, {{KTEXT("\\Device\\Before"), 1}}));
  EXPECT_EQ(GetParam().Expected, Ioctl(IOCTL_FILTER_SET_VOLUME_RULES, GetParam().Bytes));
  if (!NT_SUCCESS(GetParam().Expected)) {
    EXPECT_EQ(7, gFilterMode);
    ASSERT_FALSE(IsListEmpty(&gVolumeRuleList));
    PVOLUME_RULE rule = CONTAINING_RECORD(gVolumeRuleList.Flink, VOLUME_RULE, Links);
    EXPECT_EQ(KTEXT("\\Device\\Before"), KString(rule->VolumeName.Buffer));
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, ControlTable, ::testing::ValuesIn(TableCases()),
                         [](const ::testing::TestParamInfo<TableCase> &info) { return std::string(info.param.Name); });

struct StoreFailure {
  const char *Name;
  ULONG Tag;
  size_t Skip;
};

class ControlStore : public Control, public ::testing::WithParamInterface<StoreFailure> {};

// A table that cannot be stored used to leave filtering off until the next one arrived.
TEST_P(ControlStore, TableWithoutMemoryKeepsTheOldTableInForce) {
  ASSERT_EQ(STATUS_SUCCESS, LoadFilter());
  ASSERT_EQ(STATUS_SUCCESS, SetRules(2, {{KTEXT("\\Device\\Before"), 1}}));
  FailPoolAllocations(1, GetParam().Tag, GetParam().Skip);
  EXPECT_EQ(STATUS_INSUFFICIENT_RESOURCES,
            SetRules(1, {{KTEXT("\\Device\\A"), 1}, {KTEXT("\\Device\\B"), 1}, {KTEXT("\\Device\\C"), 1}}));
  EXPECT_EQ(2, gFilterMode);
  ASSERT_FALSE(IsListEmpty(&gVolumeRuleList));
  EXPECT_EQ(gVolumeRuleList.Flink, gVolumeRuleList.Blink);
  PVOLUME_RULE rule = CONTAINING_RECORD(gVolumeRuleList.Flink, VOLUME_RULE, Links);
  EXPECT_EQ(KTEXT("\\Device\\Before"), KString(rule->VolumeName.Buffer));
  EXPECT_EQ(1u, LivePoolBlocks(TAG_VOLUME_RULE));
  EXPECT_EQ(1u, LivePoolBlocks(TAG_RULE_NAME));
  EXPECT_EQ(1u, LivePoolBlocks(TAG_MATCH_NAME));
}

INSTANTIATE_TEST_SUITE_P(Failures, ControlStore,
                         ::testing::Values(StoreFailure{"first_entry", TAG_VOLUME_RULE, 0},
                                           StoreFailure{"second_name", TAG_RULE_NAME, 1},
                                           StoreFailure{"last_upper_case_name", TAG_MATCH_NAME, 2}),
                         [](const ::testing::TestParamInfo<StoreFailure> &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace drivertest
