// The in-memory file system: mount, files as byte vectors, the fast I/O table, the recogniser.
#include "testbed/kernel/standin/MemoryFileSystem.h"

#include "testbed/kernel/src/KernelState.h"

#include <algorithm>

namespace standin {
namespace {

struct FsDeviceExtension {
  MemoryFileSystem *FileSystem;
  StorageVolume *Volume;
  FileSystemRecognizer *Recognizer;
};

FsDeviceExtension *ExtensionOf(PDEVICE_OBJECT device) {
  return static_cast<FsDeviceExtension *>(device->DeviceExtension);
}

NTSTATUS NTAPI FsDispatch(PDEVICE_OBJECT device, PIRP irp) {
  FsDeviceExtension *extension = ExtensionOf(device);
  if (extension->Recognizer) return extension->Recognizer->Dispatch(device, irp);
  return extension->FileSystem->Dispatch(device, irp);
}

// For the recogniser, which may have deleted its device by then.
NTSTATUS CompleteAtCallerIrql(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

// At the file system's completion IRQL when it asks for one: completion routines above it then
// run there, as they do when a lower driver completes from its DPC.
NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  FsDeviceExtension *extension = ExtensionOf(IoGetCurrentIrpStackLocation(irp)->DeviceObject);
  KIRQL level = KeGetCurrentIrql();
  if (extension->FileSystem != nullptr && extension->FileSystem->CompletionIrql() > level)
    level = extension->FileSystem->CompletionIrql();
  IrqlRaise raised(level);
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

StorageVolume *VolumeOf(PDEVICE_OBJECT device) {
  FsDeviceExtension *extension = ExtensionOf(device);
  return extension->Volume ? extension->Volume : extension->FileSystem->ShareOf();
}

KString &NameOf(PFILE_OBJECT file) { return *static_cast<KString *>(file->FsContext); }

ULONG ReadBytes(StorageVolume *volume, PFILE_OBJECT file, ULONGLONG offset, void *buffer, ULONG length) {
  auto &data = volume->Files[NameOf(file)];
  if (offset >= data.size()) return 0;
  ULONG count = static_cast<ULONG>(std::min<ULONGLONG>(length, data.size() - offset));
  memcpy(buffer, data.data() + offset, count);
  return count;
}

ULONG WriteBytes(StorageVolume *volume, PFILE_OBJECT file, ULONGLONG offset, const void *buffer, ULONG length) {
  auto &data = volume->Files[NameOf(file)];
  if (data.size() < offset + length) data.resize(offset + length);
  memcpy(data.data() + offset, buffer, length);
  return length;
}

MemoryFileSystem *FileSystemOf(PDEVICE_OBJECT device) { return ExtensionOf(device)->FileSystem; }

// No access lists here, as FAT keeps none: an open gets every right it asks for, and for
// MAXIMUM_ALLOWED every right a file has, as an access check grants where no list narrows it.
// The grant goes into the access state, which the handle receives, and into the file object,
// as IoSetShareAccess records it there.
void GrantAccess(PIO_STACK_LOCATION stack, PFILE_OBJECT file) {
  PIO_SECURITY_CONTEXT security = stack->Parameters.Create.SecurityContext;
  if (security == nullptr || security->AccessState == nullptr) return;
  PACCESS_STATE state = security->AccessState;
  ACCESS_MASK granted = state->RemainingDesiredAccess;
  if (granted & MAXIMUM_ALLOWED) granted = (granted & ~MAXIMUM_ALLOWED) | FILE_ALL_ACCESS;
  state->PreviouslyGrantedAccess |= granted;
  state->RemainingDesiredAccess = 0;
  file->ReadAccess = (granted & (FILE_READ_DATA | FILE_EXECUTE)) != 0;
  file->WriteAccess = (granted & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  file->DeleteAccess = (granted & DELETE) != 0;
}

BOOLEAN NTAPI FastCheckIfPossible(PFILE_OBJECT, PLARGE_INTEGER, ULONG, BOOLEAN, ULONG, BOOLEAN,
                                  PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  IoStatus->Status = STATUS_SUCCESS;
  return TRUE;
}

BOOLEAN NTAPI FastRead(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, BOOLEAN,
                       ULONG, PVOID Buffer, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  IoStatus->Information = ReadBytes(VolumeOf(DeviceObject), FileObject, FileOffset->QuadPart, Buffer, Length);
  IoStatus->Status = STATUS_SUCCESS;
  return TRUE;
}

BOOLEAN NTAPI FastWrite(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, BOOLEAN,
                        ULONG, PVOID Buffer, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  IoStatus->Information = WriteBytes(VolumeOf(DeviceObject), FileObject, FileOffset->QuadPart, Buffer, Length);
  IoStatus->Status = STATUS_SUCCESS;
  return TRUE;
}

BOOLEAN NTAPI FastQueryStandardInfo(PFILE_OBJECT FileObject, BOOLEAN, PFILE_STANDARD_INFORMATION Buffer,
                                    PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  memset(Buffer, 0, sizeof *Buffer);
  Buffer->EndOfFile.QuadPart = static_cast<LONGLONG>(VolumeOf(DeviceObject)->Files[NameOf(FileObject)].size());
  Buffer->NumberOfLinks = 1;
  IoStatus->Status = STATUS_SUCCESS;
  IoStatus->Information = sizeof *Buffer;
  return TRUE;
}

BOOLEAN NTAPI FastLock(PFILE_OBJECT, PLARGE_INTEGER, PLARGE_INTEGER, PEPROCESS, ULONG, BOOLEAN, BOOLEAN,
                       PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  IoStatus->Status = STATUS_SUCCESS;
  return TRUE;
}

BOOLEAN NTAPI FastUnlockAll(PFILE_OBJECT, PEPROCESS, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  IoStatus->Status = STATUS_SUCCESS;
  return TRUE;
}

BOOLEAN NTAPI FastQueryOpen(PIRP Irp, PFILE_NETWORK_OPEN_INFORMATION NetworkInformation, PDEVICE_OBJECT DeviceObject) {
  FileSystemOf(DeviceObject)->CountFastIo();
  FileSystemOf(DeviceObject)->SetQueryOpenStackDevice(IoGetCurrentIrpStackLocation(Irp)->DeviceObject);
  memset(NetworkInformation, 0, sizeof *NetworkInformation);
  return TRUE;
}

const FAST_IO_DISPATCH fastIoTemplate = [] {
  FAST_IO_DISPATCH table;
  memset(&table, 0, sizeof table);
  table.SizeOfFastIoDispatch = sizeof table;
  table.FastIoCheckIfPossible = FastCheckIfPossible;
  table.FastIoRead = FastRead;
  table.FastIoWrite = FastWrite;
  table.FastIoQueryStandardInfo = FastQueryStandardInfo;
  table.FastIoLock = FastLock;
  table.FastIoUnlockAll = FastUnlockAll;
  table.FastIoQueryOpen = FastQueryOpen;
  return table;
}();

}  // namespace

StorageVolume::StorageVolume(const KString &deviceName, DEVICE_TYPE type) {
  KString leaf = deviceName.substr(deviceName.find_last_of('\\') + 1);
  PDRIVER_OBJECT driver = LoadDriver(KTEXT("\\Driver\\Disk") + leaf, nullptr, nullptr);
  UNICODE_STRING name;
  name.Buffer = const_cast<PWSTR>(deviceName.c_str());
  name.Length = name.MaximumLength = static_cast<USHORT>(deviceName.size() * sizeof(WCHAR));
  if (!NT_SUCCESS(IoCreateDevice(driver, sizeof(StorageVolume *), &name, type, 0, FALSE, &device_))) abort();
  *static_cast<StorageVolume **>(device_->DeviceExtension) = this;
  device_->Vpb = new VPB();
  device_->Vpb->RealDevice = device_;
  device_->Flags &= ~DO_DEVICE_INITIALIZING;
}

StorageVolume::~StorageVolume() {
  Dismount();
  delete device_->Vpb;
  device_->Vpb = nullptr;
  IoDeleteDevice(device_);
}

void StorageVolume::Dismount() {
  if (!Mounted()) return;
  PDEVICE_OBJECT volume = Vpb()->DeviceObject;
  ExtensionOf(volume)->FileSystem->DismountVolume(volume);
}

MemoryFileSystem::MemoryFileSystem(const KString &name, DEVICE_TYPE type) : type_(type) {
  driver_ = LoadDriver(KTEXT("\\FileSystem\\") + name, nullptr, nullptr);
  for (auto &routine : driver_->MajorFunction) routine = FsDispatch;
  fastIo_ = fastIoTemplate;
  driver_->FastIoDispatch = &fastIo_;
  KString deviceName = KTEXT("\\FileSystem\\") + name + KTEXT("Cdo");
  UNICODE_STRING unicode;
  unicode.Buffer = const_cast<PWSTR>(deviceName.c_str());
  unicode.Length = unicode.MaximumLength = static_cast<USHORT>(deviceName.size() * sizeof(WCHAR));
  if (!NT_SUCCESS(IoCreateDevice(driver_, sizeof(FsDeviceExtension), &unicode, type, 0, FALSE, &control_)))
    abort();
  *ExtensionOf(control_) = FsDeviceExtension{this, nullptr, nullptr};
  control_->Flags &= ~DO_DEVICE_INITIALIZING;
}

MemoryFileSystem::~MemoryFileSystem() {
  for (auto &thread : completions_) thread.join();
  while (!volumes_.empty()) {
    PDEVICE_OBJECT volume = volumes_.back();
    DismountVolume(volume);
  }
  Unregister();
  IoDeleteDevice(control_);
}

void MemoryFileSystem::Register() {
  if (registered_) return;
  registered_ = true;
  IoRegisterFileSystem(control_, false);
}

void MemoryFileSystem::Unregister() {
  if (!registered_) return;
  registered_ = false;
  IoUnregisterFileSystem(control_);
}

void MemoryFileSystem::SetFastIo(bool enabled) { driver_->FastIoDispatch = enabled ? &fastIo_ : nullptr; }

NTSTATUS MemoryFileSystem::Mount(PVPB vpb, PDEVICE_OBJECT storage) {
  DEVICE_TYPE wanted = type_ == FILE_DEVICE_CD_ROM_FILE_SYSTEM ? 2 /* FILE_DEVICE_CD_ROM */ : FILE_DEVICE_DISK;
  if (storage->DeviceType != wanted || mode_ == MountMode::Refuse) return STATUS_UNRECOGNIZED_VOLUME;
  StorageVolume *volume = *static_cast<StorageVolume **>(storage->DeviceExtension);
  // A volume this file system has mounted already keeps its volume device.
  if ((vpb->Flags & VPB_MOUNTED) && vpb->DeviceObject && vpb->DeviceObject->DriverObject == driver_)
    return STATUS_SUCCESS;
  PDEVICE_OBJECT device = nullptr;
  if (!NT_SUCCESS(IoCreateDevice(driver_, sizeof(FsDeviceExtension), nullptr, type_, 0, FALSE, &device)))
    return STATUS_INSUFFICIENT_RESOURCES;
  *ExtensionOf(device) = FsDeviceExtension{this, volume, nullptr};
  device->StackSize = static_cast<CCHAR>(storage->StackSize + 1);
  device->Flags |= DO_DIRECT_IO;
  vpb->DeviceObject = device;
  vpb->Flags |= VPB_MOUNTED;
  RecordOf(device)->MountedVpb = vpb;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  volumes_.push_back(device);
  ++mounts_;
  return STATUS_SUCCESS;
}

NTSTATUS MemoryFileSystem::MountDirectly(StorageVolume &volume) {
  return Mount(volume.Vpb(), volume.Device());
}

void MemoryFileSystem::DismountVolume(PDEVICE_OBJECT volumeDevice) {
  volumes_.erase(std::remove(volumes_.begin(), volumes_.end(), volumeDevice), volumes_.end());
  PVPB vpb = RecordOf(volumeDevice)->MountedVpb;
  if (vpb) {
    vpb->Flags &= ~VPB_MOUNTED;
    vpb->DeviceObject = nullptr;
  }
  IoDeleteDevice(volumeDevice);
}

NTSTATUS MemoryFileSystem::Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (irp->Flags & IRP_PAGING_IO) ++pagingRequests_;
  if (device != control_) {
    auto failure = failed_.find(stack->MajorFunction);
    if (failure != failed_.end()) return Complete(irp, failure->second);
    if (pended_.count(stack->MajorFunction)) {
      IoMarkIrpPending(irp);
      completions_.emplace_back([this, device, irp] { Serve(device, irp); });
      return STATUS_PENDING;
    }
  }
  return Serve(device, irp);
}

NTSTATUS MemoryFileSystem::Serve(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (device == control_ && stack->MajorFunction == IRP_MJ_FILE_SYSTEM_CONTROL) {
    if (stack->MinorFunction != IRP_MN_MOUNT_VOLUME) return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    PVPB vpb = stack->Parameters.MountVolume.Vpb;
    PDEVICE_OBJECT storage = stack->Parameters.MountVolume.DeviceObject;
    if (mode_ == MountMode::Pending && storage->DeviceType == FILE_DEVICE_DISK) {
      IoMarkIrpPending(irp);
      completions_.emplace_back([this, irp, vpb, storage] { Complete(irp, Mount(vpb, storage)); });
      return STATUS_PENDING;
    }
    return Complete(irp, Mount(vpb, storage));
  }
  if (device == control_ && type_ != FILE_DEVICE_NETWORK_FILE_SYSTEM) {
    return Complete(irp, stack->MajorFunction == IRP_MJ_CREATE ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST);
  }
  StorageVolume *volume = VolumeOf(device);
  PFILE_OBJECT file = stack->FileObject;
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE: {
      if (volume == nullptr) return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
      KString name = FromUnicode(&file->FileName);
      ULONG disposition = stack->Parameters.Create.Options >> 24;
      bool exists = volume->Files.count(name) != 0;
      ULONG_PTR result = FILE_OPENED;
      switch (disposition) {
        case FILE_OPEN:
          if (!exists) return Complete(irp, STATUS_OBJECT_NAME_NOT_FOUND);
          break;
        case FILE_CREATE:
          if (exists) return Complete(irp, STATUS_OBJECT_NAME_COLLISION);
          volume->Files[name];
          result = FILE_CREATED;
          break;
        case FILE_OPEN_IF:
          if (!exists) volume->Files[name], result = FILE_CREATED;
          break;
        case FILE_OVERWRITE:
          if (!exists) return Complete(irp, STATUS_OBJECT_NAME_NOT_FOUND);
          volume->Files[name].clear();
          result = FILE_OVERWRITTEN;
          break;
        case FILE_OVERWRITE_IF:
        case FILE_SUPERSEDE:
          result = exists ? (disposition == FILE_SUPERSEDE ? FILE_SUPERSEDED : FILE_OVERWRITTEN) : FILE_CREATED;
          volume->Files[name].clear();
          break;
        default:
          return Complete(irp, STATUS_INVALID_PARAMETER);
      }
      file->FsContext = new KString(name);
      file->DeletePending = (stack->Parameters.Create.Options & FILE_DELETE_ON_CLOSE) != 0;
      GrantAccess(stack, file);
      return Complete(irp, STATUS_SUCCESS, result);
    }
    case IRP_MJ_READ:
      return Complete(irp, STATUS_SUCCESS,
                      ReadBytes(volume, file, stack->Parameters.Read.ByteOffset.QuadPart, irp->UserBuffer,
                                stack->Parameters.Read.Length));
    case IRP_MJ_WRITE:
      return Complete(irp, STATUS_SUCCESS,
                      WriteBytes(volume, file, stack->Parameters.Write.ByteOffset.QuadPart, irp->UserBuffer,
                                 stack->Parameters.Write.Length));
    case IRP_MJ_QUERY_INFORMATION: {
      IO_STATUS_BLOCK status;
      FastQueryStandardInfo(file, TRUE, static_cast<PFILE_STANDARD_INFORMATION>(irp->AssociatedIrp.SystemBuffer),
                            &status, device);
      return Complete(irp, status.Status, status.Information);
    }
    case IRP_MJ_SET_INFORMATION: {
      PVOID buffer = irp->AssociatedIrp.SystemBuffer;
      switch (stack->Parameters.SetFile.FileInformationClass) {
        case FilePositionInformation:
          file->CurrentByteOffset = *static_cast<PLARGE_INTEGER>(buffer);
          return Complete(irp, STATUS_SUCCESS);
        case FileDispositionInformation:
          file->DeletePending = *static_cast<PBOOLEAN>(buffer);
          return Complete(irp, STATUS_SUCCESS);
        case FileRenameInformation: {
          KString target = *static_cast<KString *>(buffer);
          auto node = volume->Files.extract(NameOf(file));
          node.key() = target;
          volume->Files.insert(std::move(node));
          NameOf(file) = target;
          return Complete(irp, STATUS_SUCCESS);
        }
        default:
          return Complete(irp, STATUS_SUCCESS);
      }
    }
    case IRP_MJ_QUERY_VOLUME_INFORMATION: {
      if (stack->Parameters.QueryVolume.FsInformationClass != FileFsAttributeInformation)
        return Complete(irp, STATUS_INVALID_PARAMETER);
      auto info = static_cast<PFILE_FS_ATTRIBUTE_INFORMATION>(irp->AssociatedIrp.SystemBuffer);
      info->FileSystemAttributes = 0x3;
      info->MaximumComponentNameLength = 255;
      info->FileSystemNameLength = 2 * sizeof(WCHAR);
      info->FileSystemName[0] = 'M';
      return Complete(irp, STATUS_SUCCESS, sizeof(FILE_FS_ATTRIBUTE_INFORMATION));
    }
    case IRP_MJ_CLEANUP:
      if (file && file->FsContext && file->DeletePending) volume->Files.erase(NameOf(file));
      return Complete(irp, STATUS_SUCCESS);
    case IRP_MJ_CLOSE:
      if (file) {
        delete static_cast<KString *>(file->FsContext);
        file->FsContext = nullptr;
      }
      return Complete(irp, STATUS_SUCCESS);
    default:
      return Complete(irp, STATUS_SUCCESS);
  }
}

FileSystemRecognizer::FileSystemRecognizer(const KString &driverName, MemoryFileSystem &fileSystem,
                                           NTSTATUS loadStatus)
    : fileSystem_(fileSystem), loadStatus_(loadStatus) {
  driver_ = LoadDriver(driverName, nullptr, nullptr);
  for (auto &routine : driver_->MajorFunction) routine = FsDispatch;
  KString deviceName = driverName + KTEXT("Cdo");
  UNICODE_STRING unicode;
  unicode.Buffer = const_cast<PWSTR>(deviceName.c_str());
  unicode.Length = unicode.MaximumLength = static_cast<USHORT>(deviceName.size() * sizeof(WCHAR));
  if (!NT_SUCCESS(IoCreateDevice(driver_, sizeof(FsDeviceExtension), &unicode, FILE_DEVICE_DISK_FILE_SYSTEM, 0,
                                 FALSE, &control_)))
    abort();
  *ExtensionOf(control_) = FsDeviceExtension{nullptr, nullptr, this};
  control_->Flags &= ~DO_DEVICE_INITIALIZING;
  IoRegisterFileSystem(control_, true);
}

FileSystemRecognizer::~FileSystemRecognizer() {
  if (control_ == nullptr) return;
  IoUnregisterFileSystem(control_);
  IoDeleteDevice(control_);
}

NTSTATUS FileSystemRecognizer::Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  UNREFERENCED_PARAMETER(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MajorFunction != IRP_MJ_FILE_SYSTEM_CONTROL) return CompleteAtCallerIrql(irp, STATUS_INVALID_DEVICE_REQUEST);
  if (stack->MinorFunction == IRP_MN_MOUNT_VOLUME)
    return CompleteAtCallerIrql(irp, fileSystem_.Registered() ? STATUS_UNRECOGNIZED_VOLUME : STATUS_FS_DRIVER_REQUIRED);
  if (stack->MinorFunction != IRP_MN_LOAD_FILE_SYSTEM) return CompleteAtCallerIrql(irp, STATUS_INVALID_DEVICE_REQUEST);
  if (!NT_SUCCESS(loadStatus_)) return CompleteAtCallerIrql(irp, loadStatus_);
  // Loaded: the file system registers and the recogniser goes away.
  fileSystem_.Register();
  IoUnregisterFileSystem(control_);
  IoDeleteDevice(control_);
  control_ = nullptr;
  return CompleteAtCallerIrql(irp, STATUS_SUCCESS);
}

}  // namespace standin
