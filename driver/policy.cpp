//
//  The policy gate: the mode word, the volume rule table, the exempt processes, the volumes
//  that waited in vain for a rule, and the decision and enforcement per request.
//
#include "driver/QEVRINd.h"

static ULONG ReadUlong(const UCHAR *Bytes) {
  return (ULONG)Bytes[0] | ((ULONG)Bytes[1] << 8) | ((ULONG)Bytes[2] << 16) | ((ULONG)Bytes[3] << 24);
}

static BOOLEAN IsReadOnlyState(LONG State) {
  return State == VOLUME_ACCESS_READ_ONLY || State == VOLUME_ACCESS_READ_ONLY_ALT;
}

static PFILTER_DEVICE_EXTENSION ExtensionOf(PDEVICE_OBJECT DeviceObject) {
  return (PFILTER_DEVICE_EXTENSION)DeviceObject->DeviceExtension;
}

//
//  Allocation routines of the rule and pending lists.
//
static PVOLUME_RULE AllocateRuleEntry() {
  PVOLUME_RULE rule = (PVOLUME_RULE)ExAllocatePoolWithTag(FilterPoolType(), sizeof(VOLUME_RULE), TAG_VOLUME_RULE);
  if (rule != NULL) RtlZeroMemory(rule, sizeof(VOLUME_RULE));
  return rule;
}

static PPENDING_VOLUME_ENTRY AllocateListEntry() {
  PPENDING_VOLUME_ENTRY entry =
      (PPENDING_VOLUME_ENTRY)ExAllocatePoolWithTag(FilterPoolType(), sizeof(PENDING_VOLUME_ENTRY), TAG_PENDING_VOLUME);
  if (entry != NULL) RtlZeroMemory(entry, sizeof(PENDING_VOLUME_ENTRY));
  return entry;
}

//
//  Gives the entry a NUL-terminated copy of the counted name; FALSE when memory is short.
//  The source need not be aligned: it is copied byte by byte.
//
static BOOLEAN SetRuleEntryName(PUNICODE_STRING EntryName, const UCHAR *Name, USHORT Length) {
  if (EntryName->Buffer != NULL) {
    ExFreePoolWithTag(EntryName->Buffer, TAG_RULE_NAME);
    EntryName->Buffer = NULL;
  }
  EntryName->Length = 0;
  EntryName->MaximumLength = 0;
  PWSTR buffer = (PWSTR)ExAllocatePoolWithTag(FilterPoolType(), (SIZE_T)Length + sizeof(WCHAR), TAG_RULE_NAME);
  if (buffer == NULL) return FALSE;
  RtlZeroMemory(buffer, (SIZE_T)Length + sizeof(WCHAR));
  if (Length != 0) RtlCopyMemory(buffer, Name, Length);
  EntryName->Buffer = buffer;
  EntryName->Length = Length;
  EntryName->MaximumLength = (USHORT)(Length + sizeof(WCHAR));
  return TRUE;
}

static VOID FreeRuleEntry(PVOLUME_RULE Rule) {
  if (Rule->VolumeName.Buffer != NULL) ExFreePoolWithTag(Rule->VolumeName.Buffer, TAG_RULE_NAME);
  FreeUnicodeString(&Rule->MatchName, TAG_MATCH_NAME);
  ExFreePoolWithTag(Rule, TAG_VOLUME_RULE);
}

static VOID FreeRuleList(PLIST_ENTRY List) {
  while (!IsListEmpty(List)) FreeRuleEntry(CONTAINING_RECORD(RemoveHeadList(List), VOLUME_RULE, Links));
}

//
//  Moves every entry of one list head to another, empty one.
//
static VOID MoveList(PLIST_ENTRY From, PLIST_ENTRY To) {
  if (IsListEmpty(From)) {
    InitializeListHead(To);
    return;
  }
  To->Flink = From->Flink;
  To->Blink = From->Blink;
  To->Flink->Blink = To;
  To->Blink->Flink = To;
  InitializeListHead(From);
}

static VOID FreeListEntry(PPENDING_VOLUME_ENTRY Entry) {
  if (Entry->VolumeName.Buffer != NULL) ExFreePoolWithTag(Entry->VolumeName.Buffer, TAG_RULE_NAME);
  ExFreePoolWithTag(Entry, TAG_PENDING_VOLUME);
}

VOID ClearVolumeRules() {
  ExAcquireFastMutex(&gFilterModeLock);
  gFilterMode = 0;
  ExReleaseFastMutex(&gFilterModeLock);

  LIST_ENTRY old;
  ExAcquireFastMutex(&gVolumeRuleLock);
  MoveList(&gVolumeRuleList, &old);
  gVolumeRuleMode = 0;
  ++gVolumeRuleGeneration;
  ExReleaseFastMutex(&gVolumeRuleLock);
  FreeRuleList(&old);
}

VOID ClearPendingVolumes() {
  ExAcquireFastMutex(&gPendingVolumeLock);
  while (!IsListEmpty(&gPendingVolumeList)) {
    PPENDING_VOLUME_ENTRY entry = CONTAINING_RECORD(RemoveHeadList(&gPendingVolumeList), PENDING_VOLUME_ENTRY, Links);
    FreeListEntry(entry);
  }
  ExReleaseFastMutex(&gPendingVolumeLock);
}

//
//  Replaces the table and the mode word from a buffer that ValidateVolumeRules accepted. The
//  new table is built aside and swapped in whole, so the old one stays in force until then;
//  when memory runs out the old table and mode stay and the service sends again on its next
//  pass. Rule names are upcased here, where pageable code may run. PASSIVE_LEVEL.
//
NTSTATUS SetVolumeRules(const UCHAR *Buffer, ULONG Length) {
  UNREFERENCED_PARAMETER(Length);
  LIST_ENTRY table;
  InitializeListHead(&table);

  LONG mode = (LONG)ReadUlong(Buffer);
  ULONG count = ReadUlong(Buffer + 4);
  const UCHAR *cursor = Buffer + 8;
  for (ULONG index = 0; index < count; ++index) {
    ULONG nameLength = ReadUlong(cursor);
    const UCHAR *name = cursor + 4;
    LONG state = (LONG)ReadUlong(name + nameLength);
    cursor = name + nameLength + 4;

    PVOLUME_RULE rule = AllocateRuleEntry();
    if (rule == NULL || !SetRuleEntryName(&rule->VolumeName, name, (USHORT)nameLength) ||
        !NT_SUCCESS(CopyUpcaseUnicodeString(&rule->MatchName, &rule->VolumeName, TAG_MATCH_NAME))) {
      if (rule != NULL) FreeRuleEntry(rule);
      FreeRuleList(&table);
      return STATUS_INSUFFICIENT_RESOURCES;
    }
    rule->State = state;
    InsertTailList(&table, &rule->Links);
  }

  LIST_ENTRY old;
  ExAcquireFastMutex(&gVolumeRuleLock);
  MoveList(&gVolumeRuleList, &old);
  MoveList(&table, &gVolumeRuleList);
  gVolumeRuleMode = mode;
  ++gVolumeRuleGeneration;
  ExReleaseFastMutex(&gVolumeRuleLock);

  ExAcquireFastMutex(&gFilterModeLock);
  gFilterMode = mode;
  ExReleaseFastMutex(&gFilterModeLock);

  ClearPendingVolumes();
  FreeRuleList(&old);
  return STATUS_SUCCESS;
}

//
//  Exempts a running process. An exemption must end with its process, so none is given while
//  no process-exit routine is registered, nor for an id that names no process or one that has
//  begun to exit: a later process given that id would inherit it. A process has its exit
//  status before the exit routine runs, and the status is read under the lock that routine
//  takes, so an exemption is either refused here or ended there. PASSIVE_LEVEL.
//
NTSTATUS AddExemptProcess(ULONG ProcessId) {
  if (!gProcessNotifyRegistered) return STATUS_INVALID_DEVICE_STATE;
  PEXEMPT_PROCESS_ENTRY entry =
      (PEXEMPT_PROCESS_ENTRY)ExAllocatePoolWithTag(FilterPoolType(), sizeof(EXEMPT_PROCESS_ENTRY), TAG_EXEMPT_PROCESS);
  if (entry == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  entry->ProcessId = (HANDLE)(ULONG_PTR)ProcessId;
  PEPROCESS process;
  if (!NT_SUCCESS(PsLookupProcessByProcessId(entry->ProcessId, &process))) {
    ExFreePoolWithTag(entry, TAG_EXEMPT_PROCESS);
    return STATUS_INVALID_PARAMETER;
  }
  ExAcquireFastMutex(&gExemptProcessLock);
  BOOLEAN running =
      gSystemRoutines.GetProcessExitStatus == NULL || gSystemRoutines.GetProcessExitStatus(process) == STATUS_PENDING;
  if (running) InsertTailList(&gExemptProcessList, &entry->Links);
  ExReleaseFastMutex(&gExemptProcessLock);
  ObDereferenceObject(process);
  if (!running) {
    ExFreePoolWithTag(entry, TAG_EXEMPT_PROCESS);
    return STATUS_INVALID_PARAMETER;
  }
  return STATUS_SUCCESS;
}

//
//  Process-notify routine: when a process exits, every exemption of its id ends, so that a
//  later process given the same id starts without one. PASSIVE_LEVEL.
//
VOID NTAPI ProcessNotify(HANDLE ParentId, HANDLE ProcessId, BOOLEAN Create) {
  UNREFERENCED_PARAMETER(ParentId);
  if (Create) return;
  LIST_ENTRY ended;
  InitializeListHead(&ended);
  ExAcquireFastMutex(&gExemptProcessLock);
  for (PLIST_ENTRY link = gExemptProcessList.Flink; link != &gExemptProcessList;) {
    PEXEMPT_PROCESS_ENTRY entry = CONTAINING_RECORD(link, EXEMPT_PROCESS_ENTRY, Links);
    link = link->Flink;
    if (entry->ProcessId == ProcessId) {
      RemoveEntryList(&entry->Links);
      InsertTailList(&ended, &entry->Links);
    }
  }
  ExReleaseFastMutex(&gExemptProcessLock);
  while (!IsListEmpty(&ended)) {
    ExFreePoolWithTag(CONTAINING_RECORD(RemoveHeadList(&ended), EXEMPT_PROCESS_ENTRY, Links), TAG_EXEMPT_PROCESS);
  }
}

NTSTATUS RemoveExemptProcess(ULONG ProcessId) {
  HANDLE processId = (HANDLE)(ULONG_PTR)ProcessId;
  PEXEMPT_PROCESS_ENTRY found = NULL;
  ExAcquireFastMutex(&gExemptProcessLock);
  for (PLIST_ENTRY link = gExemptProcessList.Flink; link != &gExemptProcessList; link = link->Flink) {
    PEXEMPT_PROCESS_ENTRY entry = CONTAINING_RECORD(link, EXEMPT_PROCESS_ENTRY, Links);
    if (entry->ProcessId == processId) {
      RemoveEntryList(&entry->Links);
      found = entry;
      break;
    }
  }
  ExReleaseFastMutex(&gExemptProcessLock);
  if (found != NULL) ExFreePoolWithTag(found, TAG_EXEMPT_PROCESS);
  return STATUS_SUCCESS;
}

static BOOLEAN IsCurrentProcessExempt() {
  HANDLE current = PsGetCurrentProcessId();
  BOOLEAN exempt = FALSE;
  ExAcquireFastMutex(&gExemptProcessLock);
  for (PLIST_ENTRY link = gExemptProcessList.Flink; link != &gExemptProcessList; link = link->Flink) {
    if (CONTAINING_RECORD(link, EXEMPT_PROCESS_ENTRY, Links)->ProcessId == current) {
      exempt = TRUE;
      break;
    }
  }
  ExReleaseFastMutex(&gExemptProcessLock);
  return exempt;
}

//
//  TRUE when the request is subject to the policy at all: a filter device of this driver, not
//  a network file system, not a caller on the exempt list. Whether the mode word switches
//  filtering on and the table names any volume is looked up with the volume's rule.
//
static BOOLEAN IsPolicyActive(PDEVICE_OBJECT DeviceObject) {
  if (!IsFilterDevice(DeviceObject)) return FALSE;
  if (DeviceObject->DeviceType == FILE_DEVICE_NETWORK_FILE_SYSTEM) return FALSE;
  return !IsCurrentProcessExempt();
}

#define RULE_CACHE_GENERATION_MASK 0x1FFFFFFFu
#define RULE_CACHE_GENERATION_SHIFT 35

static LONG64 PackRuleCache(ULONG Generation, ULONG Flags, LONG State) {
  return (LONG64)(((ULONG64)(Generation & RULE_CACHE_GENERATION_MASK) << RULE_CACHE_GENERATION_SHIFT) |
                  ((ULONG64)Flags << 32) | (ULONG64)(ULONG)State);
}

//
//  What the last table says about the volume: RULE_CACHE_MODE when it came with a non-zero
//  mode word, RULE_CACHE_TABLE when it names any volume, RULE_CACHE_FOUND with the state of
//  the first rule that names this one, case-insensitively (both names are in upper case
//  already, so the walk under the lock runs no pageable code). The answer is kept in the
//  extension until the table changes; while it holds, a request reads it without taking the
//  lock. The generation only changes under the lock, after the new table and its mode are in
//  place, so a cached answer always belongs to one whole table.
//
static ULONG LookupRule(PFILTER_DEVICE_EXTENSION Extension, PLONG State) {
  ULONG generation = gVolumeRuleGeneration;
  LONG64 cache = Extension->RuleCache;
  if ((ULONG)((ULONG64)cache >> RULE_CACHE_GENERATION_SHIFT) != (generation & RULE_CACHE_GENERATION_MASK)) {
    ExAcquireFastMutex(&gVolumeRuleLock);
    ULONG flags = IsListEmpty(&gVolumeRuleList) ? 0 : RULE_CACHE_TABLE;
    if (gVolumeRuleMode != 0) flags |= RULE_CACHE_MODE;
    LONG state = VOLUME_ACCESS_ALLOW;
    for (PLIST_ENTRY link = gVolumeRuleList.Flink; link != &gVolumeRuleList; link = link->Flink) {
      PVOLUME_RULE rule = CONTAINING_RECORD(link, VOLUME_RULE, Links);
      if (rule->MatchName.Buffer == NULL) continue;
      if (IsSameName(&rule->MatchName, &Extension->MatchName)) {
        flags |= RULE_CACHE_FOUND;
        state = rule->State;
        break;
      }
    }
    cache = PackRuleCache(gVolumeRuleGeneration, flags, state);
    Extension->RuleCache = cache;
    ExReleaseFastMutex(&gVolumeRuleLock);
  }
  ULONG flags = (ULONG)((ULONG64)cache >> 32) & (RULE_CACHE_FOUND | RULE_CACHE_TABLE | RULE_CACHE_MODE);
  if (flags & RULE_CACHE_FOUND) *State = (LONG)(ULONG)cache;
  return flags;
}

static BOOLEAN IsPendingVolume(PCUNICODE_STRING VolumeName) {
  BOOLEAN found = FALSE;
  ExAcquireFastMutex(&gPendingVolumeLock);
  for (PLIST_ENTRY link = gPendingVolumeList.Flink; link != &gPendingVolumeList; link = link->Flink) {
    PPENDING_VOLUME_ENTRY entry = CONTAINING_RECORD(link, PENDING_VOLUME_ENTRY, Links);
    if (entry->VolumeName.Buffer != NULL && IsSameName(&entry->VolumeName, VolumeName)) {
      found = TRUE;
      break;
    }
  }
  ExReleaseFastMutex(&gPendingVolumeLock);
  return found;
}

//
//  One look without waiting: filtering off (state 0), a rule of the last table, else the
//  cached state, else the pending list (state 0). FALSE when none of them knows the volume.
//
static BOOLEAN LookupVolumeState(PFILTER_DEVICE_EXTENSION Extension, PLONG State, PBOOLEAN FromRule) {
  *FromRule = FALSE;
  ULONG flags = LookupRule(Extension, State);
  if ((flags & (RULE_CACHE_MODE | RULE_CACHE_TABLE)) != (RULE_CACHE_MODE | RULE_CACHE_TABLE)) {
    //
    //  Mode 0, or a table without entries, filters nothing.
    //
    *State = VOLUME_ACCESS_ALLOW;
    return TRUE;
  }
  if (flags & RULE_CACHE_FOUND) {
    *FromRule = TRUE;
    return TRUE;
  }
  LONG cached = Extension->CachedState;
  if (cached != VOLUME_ACCESS_UNKNOWN) {
    *State = cached;
    return TRUE;
  }
  if (IsPendingVolume(&Extension->MatchName)) {
    *State = VOLUME_ACCESS_ALLOW;
    return TRUE;
  }
  return FALSE;
}

static VOID WaitForRule() {
  PKTIMER timer = (PKTIMER)ExAllocatePoolWithTag(FilterPoolType(), sizeof(KTIMER), TAG_WAIT_TIMER);
  if (timer == NULL) return;
  LARGE_INTEGER dueTime;
  dueTime.QuadPart = RULE_WAIT_INTERVAL;
  KeInitializeTimer(timer);
  KeSetTimer(timer, dueTime, NULL);
  KeWaitForSingleObject(timer, Executive, KernelMode, FALSE, NULL);
  ExFreePoolWithTag(timer, TAG_WAIT_TIMER);
}

static VOID AddPendingVolume(PCUNICODE_STRING VolumeName) {
  PPENDING_VOLUME_ENTRY entry = AllocateListEntry();
  if (entry == NULL) return;
  if (!SetRuleEntryName(&entry->VolumeName, (const UCHAR *)VolumeName->Buffer, VolumeName->Length)) {
    FreeListEntry(entry);
    return;
  }
  ExAcquireFastMutex(&gPendingVolumeLock);
  InsertTailList(&gPendingVolumeList, &entry->Links);
  ExReleaseFastMutex(&gPendingVolumeLock);
}

//
//  Decides the state of the volume under this filter device: a rule of the last table, else
//  the cached state, else a wait of up to 100 times 100 ms for a rule, after which the volume
//  goes on the pending list and passes. Runs at PASSIVE_LEVEL or APC_LEVEL in the requester's
//  context; takes each lock only for one list walk and holds none while it waits.
//
static VOID VolumeDecision(PDEVICE_OBJECT DeviceObject, PIRP Irp, PLONG State) {
  UNREFERENCED_PARAMETER(Irp);
  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(DeviceObject);
  for (ULONG attempt = 0; attempt < RULE_WAIT_ATTEMPTS; ++attempt) {
    BOOLEAN fromRule;
    if (LookupVolumeState(extension, State, &fromRule)) {
      if (fromRule && extension->CachedState != *State) extension->CachedState = *State;
      return;
    }
    WaitForRule();
  }
  AddPendingVolume(&extension->MatchName);
  *State = VOLUME_ACCESS_ALLOW;
}

NTSTATUS PassThrough(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  IoSkipCurrentIrpStackLocation(Irp);
  return IoCallDriver(ExtensionOf(DeviceObject)->AttachedToDeviceObject, Irp);
}

static NTSTATUS CompleteRequest(PIRP Irp, NTSTATUS Status) {
  Irp->IoStatus.Status = Status;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return Status;
}

static NTSTATUS NTAPI SyncCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  UNREFERENCED_PARAMETER(DeviceObject);
  if (Irp->PendingReturned) KeSetEvent((PKEVENT)Context, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

//
//  Sends the request, whose next stack location the caller has prepared, to the device below
//  and waits for its answer; the request is then the caller's to complete. The completion
//  routine may run at DISPATCH_LEVEL and only sets the event. PASSIVE_LEVEL or APC_LEVEL.
//
static NTSTATUS SendSynchronously(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IoSetCompletionRoutine(Irp, SyncCompletion, &event, TRUE, TRUE, TRUE);
  NTSTATUS status = IoCallDriver(ExtensionOf(DeviceObject)->AttachedToDeviceObject, Irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    status = Irp->IoStatus.Status;
  }
  return status;
}

//
//  Forwards a volume-attribute query and marks the answer FILE_READ_ONLY_VOLUME.
//
static NTSTATUS QueryVolumeAttributesReadOnly(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  IoCopyCurrentIrpStackLocationToNext(Irp);
  NTSTATUS status = SendSynchronously(DeviceObject, Irp);
  if (NT_SUCCESS(status) && Irp->AssociatedIrp.SystemBuffer != NULL) {
    PFILE_FS_ATTRIBUTE_INFORMATION attributes = (PFILE_FS_ATTRIBUTE_INFORMATION)Irp->AssociatedIrp.SystemBuffer;
    attributes->FileSystemAttributes |= FILE_READ_ONLY_VOLUME;
  }
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

//
//  Access that would let the opener change the file's data, directly or through a writable
//  mapping that the System process writes later, where the read-only rules no longer see it.
//
#define WRITING_ACCESS (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)

static BOOLEAN IsWritingCreate(PIO_STACK_LOCATION Stack) {
  ULONG disposition = Stack->Parameters.Create.Options >> 24;
  if (disposition == FILE_CREATE || disposition == FILE_SUPERSEDE || disposition == FILE_OVERWRITE ||
      disposition == FILE_OVERWRITE_IF || (Stack->Parameters.Create.Options & FILE_DELETE_ON_CLOSE) != 0) {
    return TRUE;
  }
  PIO_SECURITY_CONTEXT security = Stack->Parameters.Create.SecurityContext;
  return security != NULL && (security->DesiredAccess & WRITING_ACCESS) != 0;
}

//
//  Whether the open, as the file system made it, leaves the opener write access to the data:
//  what the file system granted and what is still to be granted. MAXIMUM_ALLOWED becomes
//  rights only in the file system's access check, so only its answer shows what it gave; one
//  that no file system resolved may still become write access when the handle is made.
//
static BOOLEAN OpenGrantsWriting(PIO_STACK_LOCATION Stack) {
  if (Stack->FileObject != NULL && Stack->FileObject->WriteAccess) return TRUE;
  PIO_SECURITY_CONTEXT security = Stack->Parameters.Create.SecurityContext;
  if (security == NULL) return FALSE;
  ACCESS_MASK access = security->DesiredAccess;
  if (security->AccessState != NULL) {
    access = security->AccessState->PreviouslyGrantedAccess | security->AccessState->RemainingDesiredAccess;
  }
  return (access & (WRITING_ACCESS | MAXIMUM_ALLOWED)) != 0;
}

//
//  An open on a read-only volume that asks for no write access. It is sent down and waited
//  for: an open-if as a plain open, so that an existing file opens as before and a missing one
//  is not created but refused as write-protected media refuse it. An open that the file system
//  answered with write access all the same (MAXIMUM_ALLOWED asks for whatever the file allows)
//  is cancelled below and refused alike, before any handle exists. PASSIVE_LEVEL, as creates
//  are sent.
//
static NTSTATUS ReadOnlyCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  BOOLEAN openIf = (stack->Parameters.Create.Options >> 24) == FILE_OPEN_IF;
  IoCopyCurrentIrpStackLocationToNext(Irp);
  if (openIf) {
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
    next->Parameters.Create.Options = (next->Parameters.Create.Options & 0x00FFFFFF) | ((ULONG)FILE_OPEN << 24);
  }
  NTSTATUS status = SendSynchronously(DeviceObject, Irp);
  if (openIf && status == STATUS_OBJECT_NAME_NOT_FOUND) {
    status = STATUS_MEDIA_WRITE_PROTECTED;
  } else if (NT_SUCCESS(status) && status != STATUS_REPARSE && stack->FileObject != NULL && OpenGrantsWriting(stack)) {
    IoCancelFileOpen(ExtensionOf(DeviceObject)->AttachedToDeviceObject, stack->FileObject);
    status = STATUS_MEDIA_WRITE_PROTECTED;
  }
  if (status == STATUS_MEDIA_WRITE_PROTECTED) {
    Irp->IoStatus.Status = status;
    Irp->IoStatus.Information = 0;
  }
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

//
//  Refuses every request that would change the volume: creates that replace, truncate, delete
//  or open for writing, writes, changes of information, attributes, security and quota, and
//  the file-system controls that change data (only those reach the gate).
//
static NTSTATUS ReadOnlyFilter(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  BOOLEAN refuse = FALSE;
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
      if (!IsWritingCreate(stack)) return ReadOnlyCreate(DeviceObject, Irp);
      refuse = TRUE;
      break;
    case IRP_MJ_WRITE:
    case IRP_MJ_SET_EA:
    case IRP_MJ_FLUSH_BUFFERS:
    case IRP_MJ_SET_VOLUME_INFORMATION:
    case IRP_MJ_SET_QUOTA:
    case IRP_MJ_SET_SECURITY:
    case IRP_MJ_FILE_SYSTEM_CONTROL:
      refuse = TRUE;
      break;
    case IRP_MJ_SET_INFORMATION:
      refuse = stack->Parameters.SetFile.FileInformationClass != FilePositionInformation;
      break;
    case IRP_MJ_QUERY_VOLUME_INFORMATION:
      if (stack->Parameters.QueryVolume.FsInformationClass == FileFsAttributeInformation)
        return QueryVolumeAttributesReadOnly(DeviceObject, Irp);
      break;
    default:
      break;
  }
  if (refuse) return CompleteRequest(Irp, STATUS_MEDIA_WRITE_PROTECTED);
  return PassThrough(DeviceObject, Irp);
}

//
//  The state that applies to this request: the volume's, unless the policy does not apply to
//  the device or the caller, or the System process writes to a read-only volume.
//
static LONG RequestState(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  LONG state = VOLUME_ACCESS_ALLOW;
  if (IsPolicyActive(DeviceObject)) VolumeDecision(DeviceObject, Irp, &state);
  if (IsReadOnlyState(state) && (ULONG_PTR)PsGetCurrentProcessId() <= SYSTEM_PROCESS_ID_LIMIT) {
    state = VOLUME_ACCESS_ALLOW;
  }
  return state;
}

//
//  The policy gate for a request on a filter device. Plug-and-play requests always pass, and
//  so do cleanup and close: the file system must be able to release what handles opened
//  before a block hold. The device's remove lock keeps its extension while the request is
//  inside, the rule wait included. Returns the request's status.
//
NTSTATUS FilterDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (!IsFilterDevice(DeviceObject)) return CompleteRequest(Irp, STATUS_INVALID_DEVICE_REQUEST);

  UCHAR major = IoGetCurrentIrpStackLocation(Irp)->MajorFunction;
  if (major == IRP_MJ_PNP || major == IRP_MJ_CLEANUP || major == IRP_MJ_CLOSE) return PassThrough(DeviceObject, Irp);

  PIO_REMOVE_LOCK removeLock = &ExtensionOf(DeviceObject)->RemoveLock;
  NTSTATUS status = IoAcquireRemoveLock(removeLock, Irp);
  if (!NT_SUCCESS(status)) return CompleteRequest(Irp, status);
  LONG state = RequestState(DeviceObject, Irp);
  if (state == VOLUME_ACCESS_BLOCK) {
    status = CompleteRequest(Irp, STATUS_OBJECT_PATH_NOT_FOUND);
  } else if (IsReadOnlyState(state)) {
    status = ReadOnlyFilter(DeviceObject, Irp);
  } else {
    status = PassThrough(DeviceObject, Irp);
  }
  IoReleaseRemoveLock(removeLock, Irp);
  return status;
}

//
//  Whether a fast I/O call that starts an operation may take the fast path: only when the
//  volume is known, without waiting, to be allowed. Otherwise the I/O manager sends a request
//  packet and FilterDispatch decides.
//
BOOLEAN FastIoPolicyAllows(PDEVICE_OBJECT DeviceObject) {
  if (!IsPolicyActive(DeviceObject)) return TRUE;
  LONG state;
  BOOLEAN fromRule;
  if (!LookupVolumeState(ExtensionOf(DeviceObject), &state, &fromRule)) return FALSE;
  if (IsReadOnlyState(state) && (ULONG_PTR)PsGetCurrentProcessId() <= SYSTEM_PROCESS_ID_LIMIT) return TRUE;
  return state != VOLUME_ACCESS_BLOCK && !IsReadOnlyState(state);
}
