//
//  Attachment: a filter on the control device of every local disk, CD-ROM and network file
//  system, and one on every volume such a file system mounts, before or after the driver.
//
#include "driver/QEVRINd.h"

#define FILTER_FLAG_MASK (DO_BUFFERED_IO | DO_DIRECT_IO | DO_SUPPORTS_TRANSACTIONS)

//
//  What a mount or load carries to its completion on systems that complete it in a work item.
//
typedef struct _MOUNT_CONTEXT {
  PIO_WORKITEM WorkItem;
  PDEVICE_OBJECT FilterDevice;
  PIRP Irp;
  PDEVICE_OBJECT NewDevice;
  BOOLEAN Load;
} MOUNT_CONTEXT, *PMOUNT_CONTEXT;

static PFILTER_DEVICE_EXTENSION ExtensionOf(PDEVICE_OBJECT DeviceObject) {
  return (PFILTER_DEVICE_EXTENSION)DeviceObject->DeviceExtension;
}

BOOLEAN IsFilterDevice(PDEVICE_OBJECT DeviceObject) {
  return DeviceObject != NULL && DeviceObject->DriverObject == gFilterDriverObject &&
         DeviceObject->DeviceExtension != NULL;
}

static VOID InitializeDeviceExtension(PFILTER_DEVICE_EXTENSION Extension, PDEVICE_OBJECT DeviceObject,
                                      PDEVICE_OBJECT StorageDevice) {
  RtlZeroMemory(Extension, sizeof(FILTER_DEVICE_EXTENSION));
  Extension->DeviceObject = DeviceObject;
  Extension->StorageDeviceObject = StorageDevice;
  Extension->CachedState = VOLUME_ACCESS_UNKNOWN;
  IoInitializeRemoveLock(&Extension->RemoveLock, TAG_REMOVE_LOCK, 0, 0);
}

//
//  The volume's name and its upper-case copy for the policy's comparisons. PASSIVE_LEVEL.
//
static NTSTATUS SetVolumeName(PFILTER_DEVICE_EXTENSION Extension, PCUNICODE_STRING Name) {
  NTSTATUS status = CopyUnicodeString(&Extension->VolumeName, Name, TAG_VOLUME_NAME);
  if (!NT_SUCCESS(status)) return status;
  status = CopyUpcaseUnicodeString(&Extension->MatchName, Name, TAG_MATCH_NAME);
  if (!NT_SUCCESS(status)) FreeUnicodeString(&Extension->VolumeName, TAG_VOLUME_NAME);
  return status;
}

//
//  Waits until every request inside the policy gate has left (one may sit in the rule wait
//  for seconds), then frees the names it reads. Nothing enters after. PASSIVE_LEVEL.
//
VOID CleanupDeviceExtension(PDEVICE_OBJECT DeviceObject) {
  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(DeviceObject);
  if (NT_SUCCESS(IoAcquireRemoveLock(&extension->RemoveLock, DeviceObject))) {
    IoReleaseRemoveLockAndWait(&extension->RemoveLock, DeviceObject);
  }
  FreeUnicodeString(&extension->VolumeName, TAG_VOLUME_NAME);
  FreeUnicodeString(&extension->MatchName, TAG_MATCH_NAME);
}

static VOID DeleteFilterDevice(PDEVICE_OBJECT DeviceObject) {
  CleanupDeviceExtension(DeviceObject);
  IoDeleteDevice(DeviceObject);
}

//
//  Tells the service that a volume was attached: sets the named event it waits on, creating
//  the event when the service has not. Only at PASSIVE_LEVEL, so never under the attach lock.
//
static VOID SignalVolumeEvent() {
  if (KeGetCurrentIrql() > PASSIVE_LEVEL) return;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, FILTER_TEXT("\\BaseNamedObjects\\{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
  HANDLE handle;
  PKEVENT event = IoCreateNotificationEvent(&name, &handle);
  if (event == NULL) return;
  ObReferenceObject(event);
  KeSetEvent(event, IO_NO_INCREMENT, FALSE);
  ZwClose(handle);
  ObDereferenceObject(event);
}

static NTSTATUS AttachDeviceToStack(PDEVICE_OBJECT Source, PDEVICE_OBJECT Target, PDEVICE_OBJECT *AttachedTo) {
  if (IsWindowsAfter50() && gSystemRoutines.AttachDeviceToDeviceStackSafe != NULL) {
    return gSystemRoutines.AttachDeviceToDeviceStackSafe(Source, Target, AttachedTo);
  }
  *AttachedTo = IoAttachDeviceToDeviceStack(Source, Target);
  return *AttachedTo != NULL ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}

//
//  Whether a filter of this driver sits in the device's stack; returned referenced when
//  asked for.
//
static BOOLEAN IsAttachedToDevice(PDEVICE_OBJECT DeviceObject, PDEVICE_OBJECT *FilterDevice) {
  if (FilterDevice != NULL) *FilterDevice = NULL;
  if (IsWindowsAfter50() && gSystemRoutines.GetAttachedDeviceReference != NULL &&
      gSystemRoutines.GetLowerDeviceObject != NULL) {
    PDEVICE_OBJECT current = gSystemRoutines.GetAttachedDeviceReference(DeviceObject);
    while (current != NULL) {
      if (IsFilterDevice(current)) {
        if (FilterDevice != NULL) {
          *FilterDevice = current;
        } else {
          ObDereferenceObject(current);
        }
        return TRUE;
      }
      PDEVICE_OBJECT lower = gSystemRoutines.GetLowerDeviceObject(current);
      ObDereferenceObject(current);
      current = lower;
    }
    return FALSE;
  }
  for (PDEVICE_OBJECT current = DeviceObject; current != NULL; current = current->AttachedDevice) {
    if (IsFilterDevice(current)) {
      if (FilterDevice != NULL) {
        ObReferenceObject(current);
        *FilterDevice = current;
      }
      return TRUE;
    }
  }
  return FALSE;
}

//
//  Attaches the filter on top of the volume's stack, trying 8 times half a second apart.
//  PASSIVE_LEVEL or APC_LEVEL (under the attach lock).
//
static NTSTATUS AttachToMountedVolume(PDEVICE_OBJECT VolumeDevice, PDEVICE_OBJECT FilterDevice) {
  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(FilterDevice);
  FilterDevice->Flags |= VolumeDevice->Flags & FILTER_FLAG_MASK;
  FilterDevice->Characteristics |= VolumeDevice->Characteristics & FILE_DEVICE_SECURE_OPEN;
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  for (ULONG attempt = 0; attempt < ATTACH_ATTEMPTS; ++attempt) {
    status = AttachDeviceToStack(FilterDevice, VolumeDevice, &extension->AttachedToDeviceObject);
    if (NT_SUCCESS(status)) return status;
    LARGE_INTEGER interval;
    interval.QuadPart = ATTACH_RETRY_INTERVAL;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
  }
  return status;
}

static BOOLEAN ShouldAttachToFileSystem(PDEVICE_OBJECT DeviceObject) {
  if (DeviceObject->DeviceType != FILE_DEVICE_DISK_FILE_SYSTEM &&
      DeviceObject->DeviceType != FILE_DEVICE_CD_ROM_FILE_SYSTEM &&
      DeviceObject->DeviceType != FILE_DEVICE_NETWORK_FILE_SYSTEM) {
    return FALSE;
  }
  PFILTER_NAME_BUFFER driverName = GetObjectName(DeviceObject->DriverObject);
  if (driverName == NULL) return TRUE;
  UNICODE_STRING recognizer;
  RtlInitUnicodeString(&recognizer, FILTER_TEXT("\\FileSystem\\Fs_Rec"));
  BOOLEAN attach = RtlCompareUnicodeString(NameOf(driverName), &recognizer, TRUE) != 0;
  FreeObjectName(driverName);
  return attach;
}

//
//  A volume that was mounted before its file system was seen. Skips the file system's own
//  control device, devices of another type, volumes already filtered and named devices (volume
//  devices are unnamed). Drops the reference the enumeration took.
//
static VOID AttachToExistingVolume(PFILTER_NAME_BUFFER NameBuffer, PDEVICE_OBJECT FileSystemDevice,
                                   PDEVICE_OBJECT VolumeDevice) {
  PDEVICE_OBJECT diskDevice = NULL;
  PDEVICE_OBJECT filterDevice = NULL;
  BOOLEAN attached = FALSE;

  if (VolumeDevice == FileSystemDevice || VolumeDevice->DeviceType != FileSystemDevice->DeviceType ||
      IsAttachedToDevice(VolumeDevice, NULL) || gSystemRoutines.GetDeviceAttachmentBaseRef == NULL ||
      gSystemRoutines.GetDiskDeviceObject == NULL) {
    goto Release;
  }
  {
    PDEVICE_OBJECT baseDevice = gSystemRoutines.GetDeviceAttachmentBaseRef(VolumeDevice);
    QueryObjectName(baseDevice, NameBuffer);
    BOOLEAN named = NameOf(NameBuffer)->Length != 0;
    ObDereferenceObject(baseDevice);
    if (named) goto Release;
  }
  if (!NT_SUCCESS(gSystemRoutines.GetDiskDeviceObject(VolumeDevice, &diskDevice))) {
    diskDevice = NULL;
    goto Release;
  }
  if (!NT_SUCCESS(IoCreateDevice(gFilterDriverObject, sizeof(FILTER_DEVICE_EXTENSION), NULL,
                                 VolumeDevice->DeviceType, 0, FALSE, &filterDevice))) {
    goto Release;
  }
  InitializeDeviceExtension(ExtensionOf(filterDevice), filterDevice, diskDevice);
  QueryObjectName(diskDevice, NameBuffer);
  if (!NT_SUCCESS(SetVolumeName(ExtensionOf(filterDevice), NameOf(NameBuffer)))) {
    IoDeleteDevice(filterDevice);
    goto Release;
  }

  ExAcquireFastMutex(&gAttachLock);
  if (!IsAttachedToDevice(VolumeDevice, NULL) && NT_SUCCESS(AttachToMountedVolume(VolumeDevice, filterDevice))) {
    filterDevice->Flags &= ~DO_DEVICE_INITIALIZING;
    attached = TRUE;
  }
  ExReleaseFastMutex(&gAttachLock);

  if (attached) {
    SignalVolumeEvent();
  } else {
    DeleteFilterDevice(filterDevice);
  }

Release:
  if (diskDevice != NULL) ObDereferenceObject(diskDevice);
  ObDereferenceObject(VolumeDevice);
}

//
//  Attaches to every volume the file system has mounted already. The list is asked for twice,
//  for its length and then its entries; volumes that appear in between make the second call
//  fail, so it is asked again with room for them, a bounded number of times. A system without
//  the enumeration routine has none to offer.
//
static NTSTATUS EnumerateFileSystemVolumes(PDEVICE_OBJECT FileSystemDevice) {
  if (gSystemRoutines.EnumerateDeviceObjectList == NULL) return STATUS_SUCCESS;

  ULONG count = 0;
  NTSTATUS status = gSystemRoutines.EnumerateDeviceObjectList(FileSystemDevice->DriverObject, NULL, 0, &count);
  for (ULONG attempt = 0; status == STATUS_BUFFER_TOO_SMALL && attempt < ENUMERATION_ATTEMPTS; ++attempt) {
    if (count > MAXULONG / sizeof(PDEVICE_OBJECT) - ENUMERATION_SPARE_ENTRIES) return STATUS_INSUFFICIENT_RESOURCES;
    ULONG size = (count + ENUMERATION_SPARE_ENTRIES) * (ULONG)sizeof(PDEVICE_OBJECT);
    PDEVICE_OBJECT *devices = (PDEVICE_OBJECT *)ExAllocatePoolWithTag(FilterPoolType(), size, TAG_DEVICE_LIST);
    if (devices == NULL) return STATUS_INSUFFICIENT_RESOURCES;

    status = gSystemRoutines.EnumerateDeviceObjectList(FileSystemDevice->DriverObject, devices, size, &count);
    if (NT_SUCCESS(status)) {
      PFILTER_NAME_BUFFER nameBuffer = AllocateNameBuffer();
      for (ULONG index = 0; index < count; ++index) {
        if (nameBuffer != NULL) {
          AttachToExistingVolume(nameBuffer, FileSystemDevice, devices[index]);
        } else {
          ObDereferenceObject(devices[index]);
        }
      }
      if (nameBuffer != NULL) FreeObjectName(nameBuffer);
    }
    ExFreePoolWithTag(devices, TAG_DEVICE_LIST);
  }
  return status;
}

static NTSTATUS AttachToFileSystemControlDevice(PDEVICE_OBJECT DeviceObject, PUNICODE_STRING Name) {
  if (!ShouldAttachToFileSystem(DeviceObject)) return STATUS_SUCCESS;

  PDEVICE_OBJECT filterDevice;
  NTSTATUS status = IoCreateDevice(gFilterDriverObject, sizeof(FILTER_DEVICE_EXTENSION), NULL,
                                   DeviceObject->DeviceType, 0, FALSE, &filterDevice);
  if (!NT_SUCCESS(status)) return status;
  filterDevice->Flags |= DeviceObject->Flags & FILTER_FLAG_MASK;
  filterDevice->Characteristics |= DeviceObject->Characteristics & FILE_DEVICE_SECURE_OPEN;

  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(filterDevice);
  InitializeDeviceExtension(extension, filterDevice, NULL);
  extension->CachedState = VOLUME_ACCESS_ALLOW;
  status = SetVolumeName(extension, Name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(filterDevice);
    return status;
  }

  status = AttachDeviceToStack(filterDevice, DeviceObject, &extension->AttachedToDeviceObject);
  if (!NT_SUCCESS(status)) {
    DeleteFilterDevice(filterDevice);
    return status;
  }
  filterDevice->Flags &= ~DO_DEVICE_INITIALIZING;

  if (IsWindowsAfter50()) {
    status = EnumerateFileSystemVolumes(DeviceObject);
    if (!NT_SUCCESS(status)) {
      IoDetachDevice(extension->AttachedToDeviceObject);
      DeleteFilterDevice(filterDevice);
      return status;
    }
  }
  return STATUS_SUCCESS;
}

static VOID DetachFromFileSystemControlDevice(PDEVICE_OBJECT DeviceObject) {
  for (PDEVICE_OBJECT attached = DeviceObject->AttachedDevice; attached != NULL; attached = attached->AttachedDevice) {
    if (IsFilterDevice(attached)) {
      IoDetachDevice(ExtensionOf(attached)->AttachedToDeviceObject);
      DeleteFilterDevice(attached);
      return;
    }
  }
}

//
//  File-system registration callback: called for every file system that registers or
//  unregisters, those registered before the driver included. PASSIVE_LEVEL.
//
VOID NTAPI FsNotification(PDEVICE_OBJECT DeviceObject, BOOLEAN FsActive) {
  PFILTER_NAME_BUFFER name = GetObjectName(DeviceObject);
  if (name == NULL) return;
  if (FsActive) {
    AttachToFileSystemControlDevice(DeviceObject, NameOf(name));
  } else {
    DetachFromFileSystemControlDevice(DeviceObject);
  }
  FreeObjectName(name);
}

//
//  After the file system answered a mount: a failed mount leaves no filter behind; a mounted
//  volume gets the new filter unless it has one already. The test and the attach are one step
//  under the attach lock; the device is deleted and the service signalled after the lock is
//  released, at PASSIVE_LEVEL.
//
static NTSTATUS CompleteMountVolume(PDEVICE_OBJECT DeviceObject, PIRP Irp, PDEVICE_OBJECT NewDevice) {
  UNREFERENCED_PARAMETER(DeviceObject);
  NTSTATUS status = Irp->IoStatus.Status;
  if (!NT_SUCCESS(status)) {
    DeleteFilterDevice(NewDevice);
  } else {
    BOOLEAN attached = FALSE;
    ExAcquireFastMutex(&gAttachLock);
    PDEVICE_OBJECT volumeDevice = ExtensionOf(NewDevice)->StorageDeviceObject->Vpb->DeviceObject;
    if (volumeDevice != NULL && !IsAttachedToDevice(volumeDevice, NULL) &&
        NT_SUCCESS(AttachToMountedVolume(volumeDevice, NewDevice))) {
      NewDevice->Flags &= ~DO_DEVICE_INITIALIZING;
      attached = TRUE;
    }
    ExReleaseFastMutex(&gAttachLock);
    if (!attached) DeleteFilterDevice(NewDevice);
    SignalVolumeEvent();
  }
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS CompleteLoadFileSystem(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  NTSTATUS status = Irp->IoStatus.Status;
  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(DeviceObject);
  if (!NT_SUCCESS(status) && status != STATUS_IMAGE_ALREADY_LOADED) {
    //
    //  The recogniser stays: so does its filter.
    //
    PDEVICE_OBJECT recognizer = extension->AttachedToDeviceObject;
    if (!NT_SUCCESS(AttachDeviceToStack(DeviceObject, recognizer, &extension->AttachedToDeviceObject))) {
      DeleteFilterDevice(DeviceObject);
    }
  } else {
    DeleteFilterDevice(DeviceObject);
  }
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

static VOID NTAPI MountWorker(PDEVICE_OBJECT DeviceObject, PVOID Context) {
  UNREFERENCED_PARAMETER(DeviceObject);
  PMOUNT_CONTEXT context = (PMOUNT_CONTEXT)Context;
  if (context->Load) {
    CompleteLoadFileSystem(context->FilterDevice, context->Irp);
  } else {
    CompleteMountVolume(context->FilterDevice, context->Irp, context->NewDevice);
  }
  IoFreeWorkItem(context->WorkItem);
  ExFreePoolWithTag(context, TAG_MOUNT_CONTEXT);
}

//
//  Wakes the mounting thread, or on older systems runs the completion in a work item when it
//  is called above PASSIVE_LEVEL. Always keeps the request for its completion.
//
static NTSTATUS NTAPI MountCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  UNREFERENCED_PARAMETER(DeviceObject);
  UNREFERENCED_PARAMETER(Irp);
  if (IsWindowsAfter50()) {
    KeSetEvent((PKEVENT)Context, IO_NO_INCREMENT, FALSE);
  } else {
    PMOUNT_CONTEXT context = (PMOUNT_CONTEXT)Context;
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
      IoQueueWorkItem(context->WorkItem, MountWorker, DelayedWorkQueue, context);
    } else {
      MountWorker(context->FilterDevice, context);
    }
  }
  return STATUS_MORE_PROCESSING_REQUIRED;
}

static PMOUNT_CONTEXT AllocateMountContext(PDEVICE_OBJECT DeviceObject, PIRP Irp, PDEVICE_OBJECT NewDevice,
                                           BOOLEAN Load) {
  PMOUNT_CONTEXT context = (PMOUNT_CONTEXT)ExAllocatePoolWithTag(FilterPoolType(), sizeof(MOUNT_CONTEXT), TAG_MOUNT_CONTEXT);
  if (context == NULL) return NULL;
  context->WorkItem = IoAllocateWorkItem(DeviceObject);
  if (context->WorkItem == NULL) {
    ExFreePoolWithTag(context, TAG_MOUNT_CONTEXT);
    return NULL;
  }
  context->FilterDevice = DeviceObject;
  context->Irp = Irp;
  context->NewDevice = NewDevice;
  context->Load = Load;
  return context;
}

//
//  Sends the mount or load down and completes it here: on the same thread after an event on
//  current systems, in a work item on Windows 2000.
//
static NTSTATUS SendAndComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PDEVICE_OBJECT NewDevice, BOOLEAN Load,
                                PMOUNT_CONTEXT Context) {
  PDEVICE_OBJECT lower = ExtensionOf(DeviceObject)->AttachedToDeviceObject;
  IoCopyCurrentIrpStackLocationToNext(Irp);
  if (Context != NULL) {
    IoSetCompletionRoutine(Irp, MountCompletion, Context, TRUE, TRUE, TRUE);
    IoMarkIrpPending(Irp);
    IoCallDriver(lower, Irp);
    return STATUS_PENDING;
  }
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IoSetCompletionRoutine(Irp, MountCompletion, &event, TRUE, TRUE, TRUE);
  if (IoCallDriver(lower, Irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
  }
  return Load ? CompleteLoadFileSystem(DeviceObject, Irp) : CompleteMountVolume(DeviceObject, Irp, NewDevice);
}

//
//  A mount on a file system this driver filters: a new filter device for the volume, named
//  after its storage device, attached once the file system has mounted it. When no device or
//  name can be had the mount passes down unfollowed.
//
NTSTATUS MountVolume(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  PDEVICE_OBJECT storageDevice = stack->Parameters.MountVolume.Vpb->RealDevice;

  PDEVICE_OBJECT newDevice;
  if (!NT_SUCCESS(IoCreateDevice(gFilterDriverObject, sizeof(FILTER_DEVICE_EXTENSION), NULL, DeviceObject->DeviceType,
                                 0, FALSE, &newDevice))) {
    return PassThrough(DeviceObject, Irp);
  }
  PFILTER_DEVICE_EXTENSION extension = ExtensionOf(newDevice);
  InitializeDeviceExtension(extension, newDevice, storageDevice);

  PFILTER_NAME_BUFFER name = GetObjectName(storageDevice);
  NTSTATUS status = name != NULL ? SetVolumeName(extension, NameOf(name)) : STATUS_INSUFFICIENT_RESOURCES;
  if (name != NULL) FreeObjectName(name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(newDevice);
    return PassThrough(DeviceObject, Irp);
  }

  PMOUNT_CONTEXT context = NULL;
  if (!IsWindowsAfter50()) {
    context = AllocateMountContext(DeviceObject, Irp, newDevice, FALSE);
    if (context == NULL) {
      DeleteFilterDevice(newDevice);
      return PassThrough(DeviceObject, Irp);
    }
  }
  return SendAndComplete(DeviceObject, Irp, newDevice, FALSE, context);
}

//
//  A recogniser asked to load its file system: the filter leaves it first; the loaded file
//  system arrives through FsNotification.
//
NTSTATUS LoadFileSystem(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  PMOUNT_CONTEXT context = NULL;
  if (!IsWindowsAfter50()) {
    context = AllocateMountContext(DeviceObject, Irp, NULL, TRUE);
    if (context == NULL) return PassThrough(DeviceObject, Irp);
  }
  IoDetachDevice(ExtensionOf(DeviceObject)->AttachedToDeviceObject);
  return SendAndComplete(DeviceObject, Irp, NULL, TRUE, context);
}
