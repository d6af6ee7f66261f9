// Driver and device objects, device stacks, symbolic links and file-system registration.
#include "testbed/kernel/src/KernelState.h"

#include "testbed/kernel/src/IrpEngine.h"

#include <algorithm>

namespace standin {

std::vector<ObjectRecord *> AllRecords();

namespace {

struct Registration {
  PDRIVER_OBJECT Driver;
  PDRIVER_FS_NOTIFICATION Routine;
};

std::recursive_mutex ioLock;
std::vector<PDEVICE_OBJECT> fileSystems;      // registered, in order
std::set<PDEVICE_OBJECT> recognizers;
std::vector<Registration> registrations;
std::vector<PDRIVER_OBJECT> drivers;
size_t attachFailures = 0;
size_t linkFailures = 0;
size_t deviceFailures = 0;
size_t deviceFailureSkip = 0;
std::function<void()> enumerationHook;
NTSTATUS registrationFailure = STATUS_SUCCESS;

NTSTATUS NTAPI NoDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  UNREFERENCED_PARAMETER(DeviceObject);
  Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  IofCompleteRequest(Irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

bool Alive(PDEVICE_OBJECT device) {
  ObjectRecord *record = RecordOf(device);
  return record != nullptr && !record->Deleted;
}

}  // namespace

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT deviceObject) {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  while (deviceObject->AttachedDevice != nullptr) deviceObject = deviceObject->AttachedDevice;
  return deviceObject;
}

PDEVICE_OBJECT AttachedTo(PDEVICE_OBJECT deviceObject) {
  ObjectRecord *record = RecordOf(deviceObject);
  return record ? record->AttachedTo : nullptr;
}

void FreeObject(void *body) {
  ObjectRecord *record = RecordOf(body);
  if (record == nullptr) return;
  if (record->Kind == ObjectKind::Device) {
    DropRecord(body);
    delete[] static_cast<char *>(body);
  } else if (record->Kind == ObjectKind::Process) {
    FreeProcess(body);
  }
}

void FailAttachments(size_t count) { attachFailures = count; }
void FailSymbolicLinkCreations(size_t count) { linkFailures = count; }
void FailDeviceCreations(size_t count, size_t skip) {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  deviceFailures = count;
  deviceFailureSkip = skip;
}
void BeforeDeviceEnumeration(std::function<void()> hook) {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  enumerationHook = std::move(hook);
}
void FailFsRegistrationChange(NTSTATUS status) { registrationFailure = status; }

std::vector<PDEVICE_OBJECT> RegisteredFileSystems() {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  return fileSystems;
}

bool IsRecognizer(PDEVICE_OBJECT device) {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  return recognizers.count(device) != 0;
}

void ResetIo() {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  fileSystems.clear();
  recognizers.clear();
  registrations.clear();
  drivers.clear();
  attachFailures = linkFailures = deviceFailures = deviceFailureSkip = 0;
  enumerationHook = nullptr;
  registrationFailure = STATUS_SUCCESS;
}

// Deletes what is left: drivers that never unload, their devices, all links.
void ShutdownIo() {
  std::vector<PDRIVER_OBJECT> all;
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    all = drivers;
    drivers.clear();
    registrations.clear();
    fileSystems.clear();
  }
  for (PDRIVER_OBJECT driver : all) {
    while (driver->DeviceObject != nullptr) {
      PDEVICE_OBJECT device = driver->DeviceObject;
      device->AttachedDevice = nullptr;
      if (ObjectRecord *record = RecordOf(device)) record->AttachedTo = nullptr;
      ObjectRecord *record = RecordOf(device);
      long references = record ? record->References : 0;
      IoDeleteDevice(device);
      // References the driver never dropped were reported as leaks; free the memory anyway.
      if (references > 0 && RecordOf(device)) FreeObject(device);
    }
    delete[] driver->DriverName.Buffer;
    DropRecord(driver);
    delete driver;
  }
}

PDRIVER_OBJECT LoadDriver(const KString &name, DriverInitialize entry, NTSTATUS *status) {
  PDRIVER_OBJECT driver = new DRIVER_OBJECT();
  driver->DriverName.Buffer = new WCHAR[name.size() + 1];
  for (size_t i = 0; i < name.size(); ++i) driver->DriverName.Buffer[i] = name[i];
  driver->DriverName.Buffer[name.size()] = 0;
  driver->DriverName.Length = static_cast<USHORT>(name.size() * sizeof(WCHAR));
  driver->DriverName.MaximumLength = driver->DriverName.Length + sizeof(WCHAR);
  for (auto &routine : driver->MajorFunction) routine = NoDispatch;
  NewRecord(ObjectKind::Driver, driver);
  InsertNamedObject(name, driver);
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    drivers.push_back(driver);
  }
  UNICODE_STRING registryPath;
  RtlInitUnicodeString(&registryPath, KTEXT("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Driver"));
  NTSTATUS result = entry ? entry(driver, &registryPath) : STATUS_SUCCESS;
  if (status) *status = result;
  return driver;
}

// A copy, so that callbacks run without the lock.
static std::vector<Registration> Callbacks() {
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  return std::vector<Registration>(registrations.begin(), registrations.end());
}

NTSTATUS IoRegisterFileSystem(PDEVICE_OBJECT deviceObject, bool recognizer) {
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    fileSystems.push_back(deviceObject);
    if (recognizer) recognizers.insert(deviceObject);
  }
  for (auto &registration : Callbacks()) registration.Routine(deviceObject, TRUE);
  return STATUS_SUCCESS;
}

VOID IoUnregisterFileSystem(PDEVICE_OBJECT deviceObject) {
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    fileSystems.erase(std::remove(fileSystems.begin(), fileSystems.end(), deviceObject), fileSystems.end());
    recognizers.erase(deviceObject);
  }
  for (auto &registration : Callbacks()) registration.Routine(deviceObject, FALSE);
}

}  // namespace standin

using namespace standin;

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                        ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT *DeviceObject) {
  CheckIrql("IoCreateDevice", PASSIVE_LEVEL);
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    if (deviceFailures > 0) {
      if (deviceFailureSkip > 0) {
        --deviceFailureSkip;
      } else {
        --deviceFailures;
        return STATUS_INSUFFICIENT_RESOURCES;
      }
    }
  }
  size_t extensionOffset = (sizeof(DEVICE_OBJECT) + 15) & ~size_t(15);
  char *memory = new char[extensionOffset + DeviceExtensionSize]();
  PDEVICE_OBJECT device = reinterpret_cast<PDEVICE_OBJECT>(memory);
  device->DriverObject = DriverObject;
  device->DeviceType = DeviceType;
  device->Characteristics = DeviceCharacteristics;
  device->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
  device->StackSize = 1;
  device->DeviceExtension = DeviceExtensionSize ? memory + extensionOffset : nullptr;
  NewRecord(ObjectKind::Device, device);
  if (DeviceName != nullptr && DeviceName->Length != 0) {
    NTSTATUS status = InsertNamedObject(FromUnicode(DeviceName), device);
    if (!NT_SUCCESS(status)) {
      DropRecord(device);
      delete[] memory;
      return status;
    }
  }
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  device->NextDevice = DriverObject->DeviceObject;
  DriverObject->DeviceObject = device;
  *DeviceObject = device;
  return STATUS_SUCCESS;
}

VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
  CheckIrql("IoDeleteDevice", PASSIVE_LEVEL);
  ObjectRecord *record = RecordOf(DeviceObject);
  if (record == nullptr || record->Deleted) {
    Violation("IoDeleteDevice of a device that does not exist");
    return;
  }
  // The device below goes away: every filter on it is told through its fast I/O detach entry.
  while (PDEVICE_OBJECT above = DeviceObject->AttachedDevice) {
    PFAST_IO_DISPATCH fastIo = above->DriverObject->FastIoDispatch;
    if (fastIo != nullptr && fastIo->FastIoDetachDevice != nullptr) {
      fastIo->FastIoDetachDevice(above, DeviceObject);
    }
    if (DeviceObject->AttachedDevice == above) {
      Violation("a filter stayed attached to a device being deleted");
      IoDetachDevice(DeviceObject);
    }
  }
  if (record->AttachedTo != nullptr) Violation("IoDeleteDevice of a device still attached to another");
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  PDEVICE_OBJECT *link = &DeviceObject->DriverObject->DeviceObject;
  while (*link != nullptr && *link != DeviceObject) link = &(*link)->NextDevice;
  if (*link == DeviceObject) *link = DeviceObject->NextDevice;
  if (!record->Name.empty()) RemoveNamedObject(record->Name);
  record->Deleted = true;
  if (record->References == 0) FreeObject(DeviceObject);
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
  CheckIrql("IoCreateSymbolicLink", PASSIVE_LEVEL);
  if (ConsumeFailure(linkFailures)) return STATUS_INSUFFICIENT_RESOURCES;
  return CreateSymbolicLinkObject(FromUnicode(SymbolicLinkName), FromUnicode(DeviceName));
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
  CheckIrql("IoDeleteSymbolicLink", PASSIVE_LEVEL);
  return DeleteNamespaceEntry(FromUnicode(SymbolicLinkName));
}

NTSTATUS IoAttachDeviceToDeviceStackSafe(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice,
                                         PDEVICE_OBJECT *AttachedToDeviceObject) {
  CheckIrql("IoAttachDeviceToDeviceStackSafe", DISPATCH_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  if (ConsumeFailure(attachFailures) || !Alive(TargetDevice)) return STATUS_NO_SUCH_DEVICE;
  PDEVICE_OBJECT top = IoGetAttachedDevice(TargetDevice);
  *AttachedToDeviceObject = top;
  top->AttachedDevice = SourceDevice;
  RecordOf(SourceDevice)->AttachedTo = top;
  SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
  SourceDevice->Vpb = top->Vpb;
  return STATUS_SUCCESS;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice) {
  PDEVICE_OBJECT attachedTo = nullptr;
  if (!NT_SUCCESS(IoAttachDeviceToDeviceStackSafe(SourceDevice, TargetDevice, &attachedTo))) return nullptr;
  return attachedTo;
}

VOID IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
  CheckIrql("IoDetachDevice", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  PDEVICE_OBJECT above = TargetDevice->AttachedDevice;
  if (above == nullptr) {
    Violation("IoDetachDevice of a device with nothing attached");
    return;
  }
  RecordOf(above)->AttachedTo = nullptr;
  TargetDevice->AttachedDevice = nullptr;
}

PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject) {
  CheckIrql("IoGetAttachedDeviceReference", DISPATCH_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  PDEVICE_OBJECT top = IoGetAttachedDevice(DeviceObject);
  ObfReferenceObject(top);
  return top;
}

PDEVICE_OBJECT IoGetLowerDeviceObject(PDEVICE_OBJECT DeviceObject) {
  CheckIrql("IoGetLowerDeviceObject", DISPATCH_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  PDEVICE_OBJECT lower = RecordOf(DeviceObject)->AttachedTo;
  if (lower != nullptr) ObfReferenceObject(lower);
  return lower;
}

PDEVICE_OBJECT IoGetDeviceAttachmentBaseRef(PDEVICE_OBJECT DeviceObject) {
  CheckIrql("IoGetDeviceAttachmentBaseRef", DISPATCH_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  PDEVICE_OBJECT base = DeviceObject;
  while (PDEVICE_OBJECT lower = RecordOf(base)->AttachedTo) base = lower;
  ObfReferenceObject(base);
  return base;
}

NTSTATUS IoGetDiskDeviceObject(PDEVICE_OBJECT FileSystemDeviceObject, PDEVICE_OBJECT *DiskDeviceObject) {
  CheckIrql("IoGetDiskDeviceObject", APC_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  ObjectRecord *record = RecordOf(FileSystemDeviceObject);
  if (record == nullptr || record->MountedVpb == nullptr || record->MountedVpb->RealDevice == nullptr)
    return STATUS_INVALID_PARAMETER;
  *DiskDeviceObject = record->MountedVpb->RealDevice;
  ObfReferenceObject(*DiskDeviceObject);
  return STATUS_SUCCESS;
}

NTSTATUS IoEnumerateDeviceObjectList(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT *DeviceObjectList,
                                     ULONG DeviceObjectListSize, PULONG ActualNumberDeviceObjects) {
  CheckIrql("IoEnumerateDeviceObjectList", PASSIVE_LEVEL);
  if (DeviceObjectList != nullptr) {
    std::function<void()> hook;
    {
      std::lock_guard<std::recursive_mutex> guard(ioLock);
      hook = enumerationHook;
    }
    if (hook) hook();
  }
  std::lock_guard<std::recursive_mutex> guard(ioLock);
  ULONG count = 0;
  for (PDEVICE_OBJECT device = DriverObject->DeviceObject; device; device = device->NextDevice) ++count;
  *ActualNumberDeviceObjects = count;
  if (DeviceObjectListSize < count * sizeof(PDEVICE_OBJECT)) return STATUS_BUFFER_TOO_SMALL;
  ULONG index = 0;
  for (PDEVICE_OBJECT device = DriverObject->DeviceObject; device; device = device->NextDevice) {
    ObfReferenceObject(device);
    DeviceObjectList[index++] = device;
  }
  return STATUS_SUCCESS;
}

NTSTATUS IoRegisterFsRegistrationChange(PDRIVER_OBJECT DriverObject,
                                        PDRIVER_FS_NOTIFICATION DriverNotificationRoutine) {
  CheckIrql("IoRegisterFsRegistrationChange", PASSIVE_LEVEL);
  std::vector<PDEVICE_OBJECT> present;
  {
    std::lock_guard<std::recursive_mutex> guard(ioLock);
    if (!NT_SUCCESS(registrationFailure)) return registrationFailure;
    registrations.push_back(Registration{DriverObject, DriverNotificationRoutine});
    present = fileSystems;
  }
  // File systems that registered before the driver are reported at once.
  for (PDEVICE_OBJECT fileSystem : present) DriverNotificationRoutine(fileSystem, TRUE);
  return STATUS_SUCCESS;
}

// The file system below sees the open end as if its opener had closed it; the create is the
// caller's to fail. Too late once a handle exists.
VOID IoCancelFileOpen(PDEVICE_OBJECT DeviceObject, PFILE_OBJECT FileObject) {
  CheckIrql("IoCancelFileOpen", PASSIVE_LEVEL);
  if (FileObject->Flags & (FO_HANDLE_CREATED | FO_FILE_OPEN_CANCELLED)) {
    Violation("IoCancelFileOpen of a file that has a handle or was cancelled already");
    return;
  }
  SendCloseRequests(DeviceObject, FileObject);
  FileObject->Flags |= FO_FILE_OPEN_CANCELLED;
}
