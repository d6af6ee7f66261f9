// Version, routine look-up, the current process, counted strings and work items.
#include "testbed/kernel/src/KernelState.h"

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

struct _KPROCESS {
  ULONG Id;
  NTSTATUS ExitStatus;
};

namespace standin {
namespace {

KernelConfig config;
thread_local ULONG currentProcess = 1000;
std::mutex workLock;
std::vector<std::thread> workers;

struct WorkItem {
  PDEVICE_OBJECT Device;
};

}  // namespace

void ResetSystemInfo(const KernelConfig &newConfig) { config = newConfig; }

// A thread runs in a process: the id names one from now on, a new one when the id was free.
void SetCurrentProcessId(ULONG pid) {
  currentProcess = pid;
  StartProcess(pid);
}

void DrainWorkItems() {
  for (;;) {
    std::vector<std::thread> running;
    {
      std::lock_guard<std::mutex> guard(workLock);
      running.swap(workers);
    }
    if (running.empty()) return;
    for (auto &worker : running) worker.join();
  }
}

void ResetWorkItems() { DrainWorkItems(); }

namespace {
std::mutex processLock;
std::vector<PCREATE_PROCESS_NOTIFY_ROUTINE> processNotifyRoutines;
NTSTATUS processNotifyFailure = STATUS_SUCCESS;
// The process that holds each id, running or exited but still referenced; under ObjectLock().
std::map<ULONG, std::unique_ptr<_KPROCESS>> processes;
std::function<bool(ULONG)> outsideProcesses;

_KPROCESS *FindProcess(ULONG pid) {
  auto found = processes.find(pid);
  return found == processes.end() ? nullptr : found->second.get();
}

}  // namespace

void ResetProcesses() {
  {
    std::lock_guard<std::mutex> guard(processLock);
    processNotifyRoutines.clear();
    processNotifyFailure = STATUS_SUCCESS;
  }
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  processes.clear();
  outsideProcesses = nullptr;
  StartProcess(4);
}

void StartProcess(ULONG pid) {
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  if (pid == 0 || FindProcess(pid) != nullptr) return;
  std::unique_ptr<_KPROCESS> process(new _KPROCESS{pid, STATUS_PENDING});
  NewRecord(ObjectKind::Process, process.get());
  processes[pid] = std::move(process);
}

void FreeProcess(void *body) {
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  _KPROCESS *process = static_cast<_KPROCESS *>(body);
  DropRecord(body);
  processes.erase(process->Id);
}

void SetOutsideProcesses(std::function<bool(ULONG)> running) {
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  outsideProcesses = std::move(running);
}

void FailProcessNotifyRegistration(NTSTATUS status) {
  std::lock_guard<std::mutex> guard(processLock);
  processNotifyFailure = status;
}

size_t ProcessNotifyRoutines() {
  std::lock_guard<std::mutex> guard(processLock);
  return processNotifyRoutines.size();
}

// The last thread of the process sets its exit status and runs the routines at PASSIVE_LEVEL
// in the process's context; the process object, and with it the id, lasts while referenced.
void EndProcess(ULONG pid) {
  _KPROCESS *process;
  {
    std::lock_guard<std::recursive_mutex> guard(ObjectLock());
    process = FindProcess(pid);
    if (process == nullptr || process->ExitStatus != STATUS_PENDING) return;
    process->ExitStatus = STATUS_SUCCESS;
  }
  std::vector<PCREATE_PROCESS_NOTIFY_ROUTINE> routines;
  {
    std::lock_guard<std::mutex> guard(processLock);
    routines = processNotifyRoutines;
  }
  ULONG caller = currentProcess;
  {
    IrqlRaise passive(PASSIVE_LEVEL);
    currentProcess = pid;
    for (PCREATE_PROCESS_NOTIFY_ROUTINE routine : routines)
      routine(reinterpret_cast<HANDLE>(ULONG_PTR(4)), reinterpret_cast<HANDLE>(ULONG_PTR(pid)), FALSE);
  }
  {
    std::lock_guard<std::recursive_mutex> guard(ObjectLock());
    ObjectRecord *record = RecordOf(process);
    record->Deleted = true;
    if (record->References == 0) FreeProcess(process);
  }
  SetCurrentProcessId(caller);
}

}  // namespace standin

using namespace standin;

HANDLE PsGetCurrentProcessId() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(currentProcess)); }

NTSTATUS PsLookupProcessByProcessId(HANDLE ProcessId, PEPROCESS *Process) {
  CheckIrql("PsLookupProcessByProcessId", APC_LEVEL);
  ULONG pid = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(ProcessId));
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  if (FindProcess(pid) == nullptr && pid != 0 && outsideProcesses && outsideProcesses(pid)) StartProcess(pid);
  _KPROCESS *process = FindProcess(pid);
  if (process == nullptr) return STATUS_INVALID_CID;
  ObfReferenceObject(process);
  *Process = process;
  return STATUS_SUCCESS;
}

NTSTATUS PsGetProcessExitStatus(PEPROCESS Process) {
  CheckIrql("PsGetProcessExitStatus", APC_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ObjectLock());
  if (RecordOf(Process) == nullptr) Violation("PsGetProcessExitStatus of an unknown process");
  return Process->ExitStatus;
}

BOOLEAN PsGetVersion(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                     PUNICODE_STRING CSDVersion) {
  UNREFERENCED_PARAMETER(CSDVersion);
  if (MajorVersion) *MajorVersion = config.MajorVersion;
  if (MinorVersion) *MinorVersion = config.MinorVersion;
  if (BuildNumber) *BuildNumber = 7601;
  return FALSE;
}

NTSTATUS RtlGetVersion(PRTL_OSVERSIONINFOW VersionInformation) {
  if (VersionInformation->dwOSVersionInfoSize != sizeof(RTL_OSVERSIONINFOW)) return STATUS_INVALID_PARAMETER;
  VersionInformation->dwMajorVersion = config.MajorVersion;
  VersionInformation->dwMinorVersion = config.MinorVersion;
  VersionInformation->dwBuildNumber = 7601;
  VersionInformation->dwPlatformId = 2;
  return STATUS_SUCCESS;
}

BOOLEAN RtlIsNtDdiVersionAvailable(ULONG Version) {
  CheckIrql("RtlIsNtDdiVersionAvailable", PASSIVE_LEVEL);
  ULONG running = (config.MajorVersion << 24) | (config.MinorVersion << 16);
  return running >= Version;
}

PVOID MmGetSystemRoutineAddress(PUNICODE_STRING SystemRoutineName) {
  CheckIrql("MmGetSystemRoutineAddress", PASSIVE_LEVEL);
  KString wanted = FromUnicode(SystemRoutineName);
  for (auto &missing : config.MissingRoutines) {
    if (wanted == KString(missing.begin(), missing.end())) return nullptr;
  }
  struct Routine {
    const char *Name;
    PVOID Address;
  };
  static const Routine routines[] = {
      {"IoAttachDeviceToDeviceStackSafe", reinterpret_cast<PVOID>(&IoAttachDeviceToDeviceStackSafe)},
      {"IoEnumerateDeviceObjectList", reinterpret_cast<PVOID>(&IoEnumerateDeviceObjectList)},
      {"IoGetLowerDeviceObject", reinterpret_cast<PVOID>(&IoGetLowerDeviceObject)},
      {"IoGetDeviceAttachmentBaseRef", reinterpret_cast<PVOID>(&IoGetDeviceAttachmentBaseRef)},
      {"IoGetDiskDeviceObject", reinterpret_cast<PVOID>(&IoGetDiskDeviceObject)},
      {"IoGetAttachedDeviceReference", reinterpret_cast<PVOID>(&IoGetAttachedDeviceReference)},
      {"RtlGetVersion", reinterpret_cast<PVOID>(&RtlGetVersion)},
      {"PsGetProcessExitStatus", reinterpret_cast<PVOID>(&PsGetProcessExitStatus)},
  };
  for (auto &routine : routines) {
    std::string name(routine.Name);
    if (wanted == KString(name.begin(), name.end())) return routine.Address;
  }
  return nullptr;
}

VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  size_t length = 0;
  if (SourceString)
    while (SourceString[length]) ++length;
  DestinationString->Buffer = const_cast<PWSTR>(SourceString);
  DestinationString->Length = static_cast<USHORT>(length * sizeof(WCHAR));
  DestinationString->MaximumLength = SourceString ? static_cast<USHORT>((length + 1) * sizeof(WCHAR)) : 0;
}

// Pageable: a caller above PASSIVE_LEVEL, a fast mutex held for instance, could fault on it.
LONG RtlCompareUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  CheckIrql("RtlCompareUnicodeString", PASSIVE_LEVEL);
  size_t length1 = String1->Length / sizeof(WCHAR);
  size_t length2 = String2->Length / sizeof(WCHAR);
  size_t common = length1 < length2 ? length1 : length2;
  for (size_t i = 0; i < common; ++i) {
    WCHAR a = String1->Buffer[i];
    WCHAR b = String2->Buffer[i];
    if (CaseInSensitive) {
      if (a >= 'a' && a <= 'z') a = static_cast<WCHAR>(a - 'a' + 'A');
      if (b >= 'a' && b <= 'z') b = static_cast<WCHAR>(b - 'a' + 'A');
    }
    if (a != b) return static_cast<LONG>(a) - static_cast<LONG>(b);
  }
  return static_cast<LONG>(length1) - static_cast<LONG>(length2);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  CheckIrql("RtlEqualUnicodeString", PASSIVE_LEVEL);
  return String1->Length == String2->Length && RtlCompareUnicodeString(String1, String2, CaseInSensitive) == 0;
}

// Upper case for Basic Latin and Latin-1, which is all the names here use.
static WCHAR UpcaseChar(WCHAR c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<WCHAR>(c - 0x20);
  return c;
}

NTSTATUS RtlUpcaseUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString,
                                BOOLEAN AllocateDestinationString) {
  CheckIrql("RtlUpcaseUnicodeString", PASSIVE_LEVEL);
  if (AllocateDestinationString) {
    Violation("RtlUpcaseUnicodeString asked to allocate: the stand-in's drivers free their own pool");
    return STATUS_INVALID_PARAMETER;
  }
  if (DestinationString->MaximumLength < SourceString->Length) return STATUS_BUFFER_OVERFLOW;
  for (USHORT i = 0; i < SourceString->Length / sizeof(WCHAR); ++i)
    DestinationString->Buffer[i] = UpcaseChar(SourceString->Buffer[i]);
  DestinationString->Length = SourceString->Length;
  return STATUS_SUCCESS;
}

VOID RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString) {
  if (SourceString == nullptr) {
    DestinationString->Length = 0;
    return;
  }
  USHORT length = SourceString->Length < DestinationString->MaximumLength ? SourceString->Length
                                                                           : DestinationString->MaximumLength;
  memcpy(DestinationString->Buffer, SourceString->Buffer, length);
  DestinationString->Length = length;
  if (length + sizeof(WCHAR) <= DestinationString->MaximumLength)
    DestinationString->Buffer[length / sizeof(WCHAR)] = 0;
}

NTSTATUS PsSetCreateProcessNotifyRoutine(PCREATE_PROCESS_NOTIFY_ROUTINE NotifyRoutine, BOOLEAN Remove) {
  CheckIrql("PsSetCreateProcessNotifyRoutine", PASSIVE_LEVEL);
  std::lock_guard<std::mutex> guard(processLock);
  auto found = std::find(processNotifyRoutines.begin(), processNotifyRoutines.end(), NotifyRoutine);
  if (Remove) {
    if (found == processNotifyRoutines.end()) return STATUS_PROCEDURE_NOT_FOUND;
    processNotifyRoutines.erase(found);
    return STATUS_SUCCESS;
  }
  if (!NT_SUCCESS(processNotifyFailure)) return processNotifyFailure;
  // Windows keeps a fixed number of slots and refuses a routine registered twice.
  if (found != processNotifyRoutines.end() || processNotifyRoutines.size() >= 64) return STATUS_INVALID_PARAMETER;
  processNotifyRoutines.push_back(NotifyRoutine);
  return STATUS_SUCCESS;
}

PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT DeviceObject) {
  CheckIrql("IoAllocateWorkItem", DISPATCH_LEVEL);
  WorkItem *item = new WorkItem{DeviceObject};
  ObfReferenceObject(DeviceObject);
  return reinterpret_cast<PIO_WORKITEM>(item);
}

VOID IoFreeWorkItem(PIO_WORKITEM IoWorkItem) {
  WorkItem *item = reinterpret_cast<WorkItem *>(IoWorkItem);
  ObfDereferenceObject(item->Device);
  delete item;
}

// System worker threads run at PASSIVE_LEVEL in the System process.
VOID IoQueueWorkItem(PIO_WORKITEM IoWorkItem, PIO_WORKITEM_ROUTINE WorkerRoutine,
                     WORK_QUEUE_TYPE QueueType, PVOID Context) {
  CheckIrql("IoQueueWorkItem", DISPATCH_LEVEL);
  UNREFERENCED_PARAMETER(QueueType);
  PDEVICE_OBJECT device = reinterpret_cast<WorkItem *>(IoWorkItem)->Device;
  std::lock_guard<std::mutex> guard(workLock);
  workers.emplace_back([device, WorkerRoutine, Context] {
    SetCurrentProcessId(4);
    WorkerRoutine(device, Context);
  });
}
