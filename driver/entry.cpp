//
//  Driver entry: global state, routines looked up at run time, the control device and its link.
//
#include "driver/QEVRINd.h"

PDRIVER_OBJECT gFilterDriverObject;
PDEVICE_OBJECT gControlDeviceObject;
ULONG gOsMajorVersion;
ULONG gOsMinorVersion;
FILTER_SYSTEM_ROUTINES gSystemRoutines;
POOL_TYPE gFilterPoolType;
LONG gControlOpenState;
KSPIN_LOCK gControlOpenLock;
//
//  Whether ProcessNotify hears of process exits; exemptions are given only while it does.
//
BOOLEAN gProcessNotifyRegistered;
LONG gFilterMode;
FAST_MUTEX gFilterModeLock;
FAST_MUTEX gVolumeRuleLock;
FAST_MUTEX gExemptProcessLock;
FAST_MUTEX gPendingVolumeLock;
FAST_MUTEX gAttachLock;
LIST_ENTRY gVolumeRuleList;
//
//  The mode word that came with the table in gVolumeRuleList, guarded by VolumeRuleLock: the
//  gate reads it with the table, while gFilterMode keeps the word under its own lock.
//
LONG gVolumeRuleMode;
volatile ULONG gVolumeRuleGeneration;
LIST_ENTRY gExemptProcessList;
LIST_ENTRY gPendingVolumeList;
PAGED_LOOKASIDE_LIST gNameBufferList;

static PVOID LookupSystemRoutine(PCWSTR Name) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, Name);
  return MmGetSystemRoutineAddress(&name);
}

static VOID LookupSystemRoutines() {
  gSystemRoutines.AttachDeviceToDeviceStackSafe = (PFN_IO_ATTACH_DEVICE_TO_DEVICE_STACK_SAFE)LookupSystemRoutine(
      FILTER_TEXT("IoAttachDeviceToDeviceStackSafe"));
  gSystemRoutines.EnumerateDeviceObjectList =
      (PFN_IO_ENUMERATE_DEVICE_OBJECT_LIST)LookupSystemRoutine(FILTER_TEXT("IoEnumerateDeviceObjectList"));
  gSystemRoutines.GetLowerDeviceObject =
      (PFN_IO_GET_LOWER_DEVICE_OBJECT)LookupSystemRoutine(FILTER_TEXT("IoGetLowerDeviceObject"));
  gSystemRoutines.GetDeviceAttachmentBaseRef =
      (PFN_IO_GET_DEVICE_ATTACHMENT_BASE_REF)LookupSystemRoutine(FILTER_TEXT("IoGetDeviceAttachmentBaseRef"));
  gSystemRoutines.GetDiskDeviceObject =
      (PFN_IO_GET_DISK_DEVICE_OBJECT)LookupSystemRoutine(FILTER_TEXT("IoGetDiskDeviceObject"));
  gSystemRoutines.GetAttachedDeviceReference =
      (PFN_IO_GET_ATTACHED_DEVICE_REFERENCE)LookupSystemRoutine(FILTER_TEXT("IoGetAttachedDeviceReference"));
  gSystemRoutines.GetVersion = (PFN_RTL_GET_VERSION)LookupSystemRoutine(FILTER_TEXT("RtlGetVersion"));
  gSystemRoutines.GetProcessExitStatus =
      (PFN_PS_GET_PROCESS_EXIT_STATUS)LookupSystemRoutine(FILTER_TEXT("PsGetProcessExitStatus"));
}

//
//  A major version above 5, or 5 with a non-zero minor version.
//
BOOLEAN IsWindowsAfter50() {
  return gOsMajorVersion > 5 || (gOsMajorVersion == 5 && gOsMinorVersion != 0);
}

//
//  Every allocation is non-paged; from Windows 8 on from the pool that cannot execute. The
//  system is asked once, at entry: the question may only be asked at PASSIVE_LEVEL, and
//  requests allocate at APC_LEVEL too.
//
POOL_TYPE FilterPoolType() { return gFilterPoolType; }

static VOID ReadOsVersion() {
  if (gSystemRoutines.GetVersion != NULL) {
    RTL_OSVERSIONINFOW version;
    RtlZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (NT_SUCCESS(gSystemRoutines.GetVersion(&version))) {
      gOsMajorVersion = version.dwMajorVersion;
      gOsMinorVersion = version.dwMinorVersion;
      return;
    }
  }
  PsGetVersion(&gOsMajorVersion, &gOsMinorVersion, NULL, NULL);
}

static NTSTATUS CreateControlDevice(PDRIVER_OBJECT DriverObject) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, FILTER_TEXT("\\FileSystem\\Filters\\QEVRINd"));
  NTSTATUS status = IoCreateDevice(DriverObject, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, TRUE,
                                   &gControlDeviceObject);
  if (status == STATUS_OBJECT_PATH_NOT_FOUND) {
    //
    //  Systems without the Filters directory get the device beside the file systems.
    //
    RtlInitUnicodeString(&name, FILTER_TEXT("\\FileSystem\\QEVRINdCD0"));
    status = IoCreateDevice(DriverObject, 0, &name, FILE_DEVICE_DISK_FILE_SYSTEM, FILE_DEVICE_SECURE_OPEN, FALSE,
                            &gControlDeviceObject);
  }
  if (!NT_SUCCESS(status)) {
    gControlDeviceObject = NULL;
    return status;
  }
  //
  //  Before the link makes the device reachable: a device that cannot be secured is not
  //  offered at all.
  //
  status = SecureControlDevice(gControlDeviceObject);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(gControlDeviceObject);
    gControlDeviceObject = NULL;
    return status;
  }
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, FILTER_TEXT("\\DosDevices\\QEVRINd"));
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    //
    //  A link left behind by an earlier load: replace it.
    //
    IoDeleteSymbolicLink(&link);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
      IoDeleteDevice(gControlDeviceObject);
      gControlDeviceObject = NULL;
    }
  }
  return status;
}

static VOID UnregisterProcessNotify() {
  if (!gProcessNotifyRegistered) return;
  PsSetCreateProcessNotifyRoutine(ProcessNotify, TRUE);
  gProcessNotifyRegistered = FALSE;
}

//
//  Sets up the global state, the control device and its link, the dispatch routines and the
//  fast I/O table, and registers for file-system registration changes. PASSIVE_LEVEL.
//
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
  UNREFERENCED_PARAMETER(RegistryPath);

  gFilterDriverObject = DriverObject;
  LookupSystemRoutines();
  ReadOsVersion();
  gFilterPoolType = RtlIsNtDdiVersionAvailable(NTDDI_WIN8) ? NonPagedPoolNx : NonPagedPool;

  ExInitializeFastMutex(&gExemptProcessLock);
  ExInitializeFastMutex(&gFilterModeLock);
  ExInitializeFastMutex(&gVolumeRuleLock);
  ExInitializeFastMutex(&gPendingVolumeLock);
  ExInitializeFastMutex(&gAttachLock);
  InitializeListHead(&gExemptProcessList);
  InitializeListHead(&gVolumeRuleList);
  InitializeListHead(&gPendingVolumeList);
  gFilterMode = 0;
  gVolumeRuleMode = 0;
  gVolumeRuleGeneration = 1;
  gControlOpenState = CONTROL_DEVICE_FREE;
  ExInitializePagedLookasideList(&gNameBufferList, NULL, NULL, 0, NAME_BUFFER_SIZE, TAG_NAME_BUFFER, 0);

  if (DriverObject == NULL) {
    ExDeletePagedLookasideList(&gNameBufferList);
    return STATUS_INVALID_PARAMETER;
  }

  //
  //  An exemption ends with its process: a process that later gets the same id must not
  //  inherit it. Without the routine the driver still filters; it only gives no exemptions.
  //
  gProcessNotifyRegistered = NT_SUCCESS(PsSetCreateProcessNotifyRoutine(ProcessNotify, FALSE));

  NTSTATUS status = CreateControlDevice(DriverObject);
  if (!NT_SUCCESS(status)) {
    UnregisterProcessNotify();
    ExDeletePagedLookasideList(&gNameBufferList);
    return status;
  }
  KeInitializeSpinLock(&gControlOpenLock);

  status = InitializeDispatchAndFastIo(DriverObject);
  if (!NT_SUCCESS(status)) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, FILTER_TEXT("\\DosDevices\\QEVRINd"));
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(gControlDeviceObject);
    gControlDeviceObject = NULL;
    UnregisterProcessNotify();
    ExDeletePagedLookasideList(&gNameBufferList);
    return status;
  }

  gControlDeviceObject->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
