// The stand-in itself: it must refuse and report what Windows refuses, so that a driver that
// passes here has not merely met a lenient kernel.
#include "testbed/kernel/standin/UserIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace standin;

namespace {

// A tiny driver whose one device answers every request through `behaviour`.
struct TestDriver {
  static NTSTATUS (*behaviour)(PDEVICE_OBJECT, PIRP);
  static size_t creates;

  static NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp) {
    if (IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_CREATE) ++creates;
    if (behaviour != nullptr && IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_DEVICE_CONTROL)
      return behaviour(device, irp);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  }
  static NTSTATUS NTAPI Entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (auto &routine : driver->MajorFunction) routine = Dispatch;
    return STATUS_SUCCESS;
  }
};
NTSTATUS (*TestDriver::behaviour)(PDEVICE_OBJECT, PIRP) = nullptr;
size_t TestDriver::creates = 0;

bool Reported(const std::string &text) {
  for (const std::string &violation : Violations())
    if (violation.find(text) != std::string::npos) return true;
  return false;
}

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetKernel();
    TestDriver::behaviour = nullptr;
    TestDriver::creates = 0;
    NTSTATUS status;
    driver_ = LoadDriver(KTEXT("\\Driver\\Test"), TestDriver::Entry, &status);
  }
  void TearDown() override {
    ShutdownKernel();
    for (const std::string &leak : Leaks()) ADD_FAILURE() << "leak: " << leak;
  }
  PDEVICE_OBJECT CreateDevice(bool exclusive) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, KTEXT("\\Device\\Test"));
    PDEVICE_OBJECT device = nullptr;
    EXPECT_EQ(STATUS_SUCCESS, IoCreateDevice(driver_, 0, &name, FILE_DEVICE_UNKNOWN, 0, exclusive, &device));
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return device;
  }
  PDRIVER_OBJECT driver_ = nullptr;
};

TEST_F(StandIn, RefusesASecondOpenOfAnExclusiveDeviceBeforeItsDriverSeesIt) {
  CreateDevice(true);
  FileHandle first, second;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\Device\\Test"), first));
  EXPECT_EQ(STATUS_ACCESS_DENIED, OpenDevice(KTEXT("\\Device\\Test"), second));
  EXPECT_EQ(1u, TestDriver::creates);
  first.Close();
  EXPECT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\Device\\Test"), second));
  EXPECT_TRUE(Violations().empty());
}

TEST_F(StandIn, ReportsPendingReturnedWithoutIoMarkIrpPending) {
  CreateDevice(false);
  FileHandle handle;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\Device\\Test"), handle));
  const struct {
    const char *Name;
    NTSTATUS (*Behaviour)(PDEVICE_OBJECT, PIRP);
    bool Reported;
  } cases[] = {
      {"unmarked", [](PDEVICE_OBJECT, PIRP irp) {
         irp->IoStatus.Status = STATUS_SUCCESS;
         IofCompleteRequest(irp, IO_NO_INCREMENT);
         return STATUS_PENDING;
       }, true},
      {"marked", [](PDEVICE_OBJECT, PIRP irp) {
         IoMarkIrpPending(irp);
         irp->IoStatus.Status = STATUS_SUCCESS;
         IofCompleteRequest(irp, IO_NO_INCREMENT);
         return STATUS_PENDING;
       }, false},
  };
  for (const auto &c : cases) {
    handle.Close();
    ShutdownKernel();
    ResetKernel();
    NTSTATUS status;
    driver_ = LoadDriver(KTEXT("\\Driver\\Test"), TestDriver::Entry, &status);
    CreateDevice(false);
    ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\Device\\Test"), handle));
    TestDriver::behaviour = c.Behaviour;
    EXPECT_EQ(STATUS_SUCCESS, DeviceIoControl(handle, 0x220000, nullptr, 0, nullptr, 0, nullptr)) << c.Name;
    EXPECT_EQ(c.Reported, Reported("STATUS_PENDING without IoMarkIrpPending")) << c.Name;
    handle.Close();
  }
}

// One spare byte after the system buffer used to hide a one-byte overrun.
TEST_F(StandIn, ReportsAWritePastAControlCodesBuffer) {
  CreateDevice(false);
  FileHandle handle;
  ASSERT_EQ(STATUS_SUCCESS, OpenDevice(KTEXT("\\Device\\Test"), handle));
  for (ULONG written : {8u, 9u}) {
    static ULONG toWrite;
    toWrite = written;
    TestDriver::behaviour = [](PDEVICE_OBJECT, PIRP irp) {
      memset(irp->AssociatedIrp.SystemBuffer, 0x11, toWrite);
      irp->IoStatus.Status = STATUS_SUCCESS;
      irp->IoStatus.Information = 8;
      IofCompleteRequest(irp, IO_NO_INCREMENT);
      return STATUS_SUCCESS;
    };
    UCHAR input[4] = {1, 2, 3, 4};
    UCHAR output[8];
    EXPECT_EQ(STATUS_SUCCESS, DeviceIoControl(handle, 0x220000, input, 4, output, 8, nullptr));
    EXPECT_EQ(written > 8, Reported("wrote past the end of a control code's system buffer")) << written;
  }
}

// Each of these may page, or is documented for PASSIVE_LEVEL only.
TEST_F(StandIn, ReportsPassiveOnlyRoutinesCalledAbovePassiveLevel) {
  UNICODE_STRING a, b;
  RtlInitUnicodeString(&a, KTEXT("\\Device\\A"));
  RtlInitUnicodeString(&b, KTEXT("\\device\\a"));
  WCHAR room[16];
  UNICODE_STRING upper = {0, sizeof room, room};
  const struct {
    const char *Routine;
    std::function<void()> Call;
  } calls[] = {
      {"RtlCompareUnicodeString", [&] { RtlCompareUnicodeString(&a, &b, TRUE); }},
      {"RtlEqualUnicodeString", [&] { RtlEqualUnicodeString(&a, &b, TRUE); }},
      {"RtlUpcaseUnicodeString", [&] { RtlUpcaseUnicodeString(&upper, &b, FALSE); }},
      {"RtlIsNtDdiVersionAvailable", [] { RtlIsNtDdiVersionAvailable(NTDDI_WIN8); }},
      {"PsSetCreateProcessNotifyRoutine", [] {
         PsSetCreateProcessNotifyRoutine([](HANDLE, HANDLE, BOOLEAN) {}, TRUE);
       }},
  };
  for (const auto &call : calls) {
    call.Call();
    EXPECT_FALSE(Reported(call.Routine)) << call.Routine;
    {
      IrqlRaise apc(APC_LEVEL);
      call.Call();
    }
    EXPECT_TRUE(Reported(std::string(call.Routine) + " called at IRQL 1")) << call.Routine;
  }
  EXPECT_EQ(upper.Length, b.Length);
  EXPECT_EQ(KString(KTEXT("\\DEVICE\\A")), KString(room, upper.Length / sizeof(WCHAR)));
}

TEST_F(StandIn, CreatesNamedEventsSignalledAsWindowsDoes) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, KTEXT("\\BaseNamedObjects\\Ready"));
  HANDLE handle;
  PKEVENT event = IoCreateNotificationEvent(&name, &handle);
  ASSERT_NE(nullptr, event);
  EXPECT_TRUE(EventSignalled(KTEXT("Ready")));
  EXPECT_EQ(0u, EventSetCount(KTEXT("Ready")));
  KeClearEvent(event);
  ZwClose(handle);
  PKEVENT again = IoCreateNotificationEvent(&name, &handle);
  EXPECT_EQ(event, again);
  EXPECT_FALSE(EventSignalled(KTEXT("Ready")));
  ZwClose(handle);
}

// A filter's completion routine runs at the IRQL the lower driver completes at.
TEST_F(StandIn, RunsCompletionRoutinesAtTheLowerDriversIrql) {
  static KIRQL seen;
  static PDEVICE_OBJECT lower;
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume1"));
  ASSERT_EQ(STATUS_SUCCESS, MountVolume(volume));
  PDRIVER_OBJECT filterDriver = LoadDriver(KTEXT("\\Driver\\Filter"), [](PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (auto &routine : driver->MajorFunction) {
      routine = [](PDEVICE_OBJECT, PIRP irp) {
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, [](PDEVICE_OBJECT, PIRP irp, PVOID) {
          seen = KeGetCurrentIrql();
          if (irp->PendingReturned) IoMarkIrpPending(irp);
          return STATUS_SUCCESS;
        }, nullptr, TRUE, TRUE, TRUE);
        return IofCallDriver(lower, irp);
      };
    }
    return STATUS_SUCCESS;
  }, nullptr);
  PDEVICE_OBJECT filter;
  ASSERT_EQ(STATUS_SUCCESS, IoCreateDevice(filterDriver, 0, nullptr, FILE_DEVICE_DISK_FILE_SYSTEM, 0, FALSE, &filter));
  ASSERT_EQ(STATUS_SUCCESS, IoAttachDeviceToDeviceStackSafe(filter, volume.MountedVolume(), &lower));
  filter->Flags &= ~DO_DEVICE_INITIALIZING;
  for (KIRQL level : {KIRQL(PASSIVE_LEVEL), KIRQL(DISPATCH_LEVEL)}) {
    for (bool pend : {false, true}) {
      fs.SetCompletionIrql(level);
      if (pend) fs.PendRequests(IRP_MJ_CREATE);
      FileHandle file;
      seen = 0xFF;
      ASSERT_EQ(STATUS_SUCCESS, CreateFile(volume, KTEXT("a"), FILE_OPEN_IF, 0, file));
      EXPECT_EQ(level, seen) << int(level) << " pending " << pend;
      fs.SetCompletionIrql(PASSIVE_LEVEL);
    }
  }
  for (const std::string &violation : Violations()) ADD_FAILURE() << violation;
  IoDetachDevice(lower);
  IoDeleteDevice(filter);
  volume.Dismount();
}

HANDLE Pid(ULONG pid) { return reinterpret_cast<HANDLE>(ULONG_PTR(pid)); }

// A process has its exit status before the exit routines run, and its id stays taken while a
// reference to it is held; ids of the PC's processes outside the stand-in are asked about.
TEST_F(StandIn, ProcessIdsNameRunningProcessesAndExitedOnesWhileReferenced) {
  static NTSTATUS statusInRoutine;
  PCREATE_PROCESS_NOTIFY_ROUTINE routine = [](HANDLE, HANDLE pid, BOOLEAN create) {
    PEPROCESS exiting;
    if (create || !NT_SUCCESS(PsLookupProcessByProcessId(pid, &exiting))) return;
    statusInRoutine = PsGetProcessExitStatus(exiting);
    ObDereferenceObject(exiting);
  };
  ASSERT_EQ(STATUS_SUCCESS, PsSetCreateProcessNotifyRoutine(routine, FALSE));
  PEPROCESS process;
  EXPECT_EQ(STATUS_INVALID_CID, PsLookupProcessByProcessId(Pid(3000), &process));
  SetCurrentProcessId(3000);
  ASSERT_EQ(STATUS_SUCCESS, PsLookupProcessByProcessId(Pid(3000), &process));
  EXPECT_EQ(STATUS_PENDING, PsGetProcessExitStatus(process));
  SetCurrentProcessId(1000);
  EndProcess(3000);
  EXPECT_EQ(STATUS_SUCCESS, statusInRoutine);
  PEPROCESS again;
  ASSERT_EQ(STATUS_SUCCESS, PsLookupProcessByProcessId(Pid(3000), &again));
  EXPECT_EQ(process, again);
  ObDereferenceObject(again);
  ObDereferenceObject(process);
  EXPECT_EQ(STATUS_INVALID_CID, PsLookupProcessByProcessId(Pid(3000), &process));
  SetOutsideProcesses([](ULONG pid) { return pid == 5000; });
  ASSERT_EQ(STATUS_SUCCESS, PsLookupProcessByProcessId(Pid(5000), &process));
  EXPECT_EQ(STATUS_PENDING, PsGetProcessExitStatus(process));
  ObDereferenceObject(process);
  EXPECT_EQ(STATUS_INVALID_CID, PsLookupProcessByProcessId(Pid(5001), &process));
  PsSetCreateProcessNotifyRoutine(routine, TRUE);
}

// The file system grants MAXIMUM_ALLOWED as all rights; a filter that fails the create after
// that must have the open closed below, or the file stays open there for good.
TEST_F(StandIn, ReportsAFailedCreateWhoseOpenWasNotCancelled) {
  static PDEVICE_OBJECT lower;
  static bool cancel;
  static ACCESS_MASK granted;
  MemoryFileSystem fs(KTEXT("Fat"));
  fs.Register();
  StorageVolume volume(KTEXT("\\Device\\HarddiskVolume1"));
  ASSERT_EQ(STATUS_SUCCESS, MountVolume(volume));
  PDRIVER_OBJECT filterDriver = LoadDriver(KTEXT("\\Driver\\Filter"), [](PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (auto &routine : driver->MajorFunction) {
      routine = [](PDEVICE_OBJECT, PIRP irp) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        if (stack->MajorFunction != IRP_MJ_CREATE) {
          IoSkipCurrentIrpStackLocation(irp);
          return IofCallDriver(lower, irp);
        }
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, [](PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_MORE_PROCESSING_REQUIRED; },
                               nullptr, TRUE, TRUE, TRUE);
        IofCallDriver(lower, irp);
        granted = stack->Parameters.Create.SecurityContext->AccessState->PreviouslyGrantedAccess;
        if (stack->FileObject->WriteAccess && cancel) IoCancelFileOpen(lower, stack->FileObject);
        irp->IoStatus.Status = STATUS_ACCESS_DENIED;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_ACCESS_DENIED;
      };
    }
    return STATUS_SUCCESS;
  }, nullptr);
  PDEVICE_OBJECT filter;
  ASSERT_EQ(STATUS_SUCCESS, IoCreateDevice(filterDriver, 0, nullptr, FILE_DEVICE_DISK_FILE_SYSTEM, 0, FALSE, &filter));
  ASSERT_EQ(STATUS_SUCCESS, IoAttachDeviceToDeviceStackSafe(filter, volume.MountedVolume(), &lower));
  filter->Flags &= ~DO_DEVICE_INITIALIZING;
  for (bool cancelled : {true, false}) {
    cancel = cancelled;
    FileHandle file;
    EXPECT_EQ(STATUS_ACCESS_DENIED, CreateFile(volume, KTEXT("a"), FILE_OPEN_IF, 0, file, nullptr, MAXIMUM_ALLOWED));
    EXPECT_EQ(static_cast<ACCESS_MASK>(FILE_ALL_ACCESS), granted);
    EXPECT_EQ(!cancelled, Reported("which nobody cancelled")) << cancelled;
  }
  IoDetachDevice(lower);
  IoDeleteDevice(filter);
  volume.Dismount();
}

}  // namespace
