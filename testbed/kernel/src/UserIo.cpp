// The I/O manager's user-mode side: mount on first use, file objects, buffered control codes,
// and the fast I/O path tried before a request packet for cached reads and writes.
#include "testbed/kernel/standin/UserIo.h"

#include "testbed/kernel/src/IrpEngine.h"

#include <algorithm>

namespace standin {

bool IsRecognizer(PDEVICE_OBJECT device);

namespace {

NTSTATUS SendFsControl(PDEVICE_OBJECT fileSystem, UCHAR minor, PVPB vpb, PDEVICE_OBJECT storage) {
  PDEVICE_OBJECT top = IoGetAttachedDevice(fileSystem);
  PIRP irp = AllocateIrp(top->StackSize);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_FILE_SYSTEM_CONTROL;
  next->MinorFunction = minor;
  next->Parameters.MountVolume.Vpb = vpb;
  next->Parameters.MountVolume.DeviceObject = storage;
  NTSTATUS status = SendAndWait(top, irp);
  FreeIrp(irp);
  return status;
}

// Builds a request for the file's stack, sends it and waits for the answer.
struct Request {
  explicit Request(FileHandle &handle, UCHAR major, UCHAR minor = 0) : handle_(handle) {
    irp = AllocateIrp(handle.Top()->StackSize);
    irp->RequestorMode = UserMode;
    stack = IoGetNextIrpStackLocation(irp);
    stack->MajorFunction = major;
    stack->MinorFunction = minor;
    stack->FileObject = handle.File();
  }
  ~Request() { FreeIrp(irp); }
  NTSTATUS Send(ULONG_PTR *information = nullptr) {
    NTSTATUS status = SendAndWait(handle_.Top(), irp);
    if (information) *information = irp->IoStatus.Information;
    return status;
  }
  FileHandle &handle_;
  PIRP irp;
  PIO_STACK_LOCATION stack;
};

PFAST_IO_DISPATCH FastIoOf(FileHandle &handle) { return handle.Top()->DriverObject->FastIoDispatch; }

}  // namespace

void FileHandle::Attach(PFILE_OBJECT file, PDEVICE_OBJECT top, const KString &name) {
  file_ = file;
  top_ = top;
  name_ = name;
  if (file_ == nullptr) return;
  file_->FileName.Buffer = const_cast<PWSTR>(name_.c_str());
  file_->FileName.Length = file_->FileName.MaximumLength = static_cast<USHORT>(name_.size() * sizeof(WCHAR));
}

void FileHandle::Opened(PDEVICE_OBJECT device) {
  opened_ = device;
  if (ObjectRecord *record = RecordOf(device)) record->OpenFiles++;
}

NTSTATUS FileHandle::Close() {
  if (file_ == nullptr) return STATUS_SUCCESS;
  NTSTATUS status;
  {
    Request cleanup(*this, IRP_MJ_CLEANUP);
    status = cleanup.Send();
  }
  {
    Request close(*this, IRP_MJ_CLOSE);
    NTSTATUS closed = close.Send();
    if (NT_SUCCESS(status)) status = closed;
  }
  if (ObjectRecord *record = opened_ ? RecordOf(opened_) : nullptr) record->OpenFiles--;
  delete file_;
  file_ = nullptr;
  top_ = nullptr;
  opened_ = nullptr;
  return status;
}

NTSTATUS SendMountRequest(PDEVICE_OBJECT fileSystem, StorageVolume &volume) {
  return SendFsControl(fileSystem, IRP_MN_MOUNT_VOLUME, volume.Vpb(), volume.Device());
}

NTSTATUS MountVolume(StorageVolume &volume) {
  for (int round = 0; round < 4 && !volume.Mounted(); ++round) {
    std::vector<PDEVICE_OBJECT> fileSystems = RegisteredFileSystems();
    std::stable_partition(fileSystems.begin(), fileSystems.end(), [](PDEVICE_OBJECT d) { return !IsRecognizer(d); });
    bool loaded = false;
    for (PDEVICE_OBJECT fileSystem : fileSystems) {
      if (fileSystem->DeviceType == FILE_DEVICE_NETWORK_FILE_SYSTEM) continue;
      NTSTATUS status = SendFsControl(fileSystem, IRP_MN_MOUNT_VOLUME, volume.Vpb(), volume.Device());
      if (NT_SUCCESS(status)) return status;
      if (status == STATUS_FS_DRIVER_REQUIRED) {
        SendFsControl(fileSystem, IRP_MN_LOAD_FILE_SYSTEM, nullptr, nullptr);
        loaded = true;
        break;
      }
    }
    if (!loaded) break;
  }
  return volume.Mounted() ? STATUS_SUCCESS : STATUS_UNRECOGNIZED_VOLUME;
}

NTSTATUS CreateFileOnDevice(PDEVICE_OBJECT device, const KString &path, ULONG disposition, ULONG options,
                            FileHandle &handle, ULONG_PTR *information, ACCESS_MASK access) {
  handle.Close();
  if (information) *information = 0;
  if (!AccessGranted(device, access)) return STATUS_ACCESS_DENIED;
  {
    ObjectRecord *record = RecordOf(device);
    if ((device->Flags & DO_EXCLUSIVE) && record != nullptr && record->OpenFiles > 0) return STATUS_ACCESS_DENIED;
  }
  PDEVICE_OBJECT top = IoGetAttachedDevice(device);
  PFILE_OBJECT file = new FILE_OBJECT();
  file->DeviceObject = device;
  file->Vpb = device->Vpb;
  handle.Attach(file, top, path);
  // Generic rights are mapped before the request goes out; the file system grants from what
  // remains, MAXIMUM_ALLOWED included.
  ACCESS_STATE state = {};
  state.OriginalDesiredAccess = state.RemainingDesiredAccess = MapGenericFileRights(access);
  IO_SECURITY_CONTEXT security = {};
  security.AccessState = &state;
  security.DesiredAccess = state.RemainingDesiredAccess;
  security.FullCreateOptions = options;
  Request create(handle, IRP_MJ_CREATE);
  create.stack->Parameters.Create.SecurityContext = &security;
  create.stack->Parameters.Create.Options = (disposition << 24) | (options & 0x00FFFFFF);
  NTSTATUS status = create.Send(information);
  if (!NT_SUCCESS(status)) {
    if (file->FsContext != nullptr && (file->Flags & FO_FILE_OPEN_CANCELLED) == 0) {
      // The file system would keep the file open for good, its sharing and locks with it.
      Violation("a create failed after the file system had opened the file, which nobody cancelled");
      SendCloseRequests(device, file);
    }
    delete file;
    handle.Attach(nullptr, nullptr, KString());
  } else {
    file->Flags |= FO_HANDLE_CREATED;
    handle.Opened(device);
  }
  return status;
}

NTSTATUS CreateFile(StorageVolume &volume, const KString &path, ULONG disposition, ULONG options,
                    FileHandle &handle, ULONG_PTR *information, ACCESS_MASK access) {
  if (!volume.Mounted()) {
    NTSTATUS status = MountVolume(volume);
    if (!NT_SUCCESS(status)) return status;
  }
  NTSTATUS status =
      CreateFileOnDevice(volume.MountedVolume(), path, disposition, options, handle, information, access);
  if (handle.IsOpen()) handle.File()->DeviceObject = volume.Device();
  return status;
}

NTSTATUS OpenDevice(const KString &path, FileHandle &handle) {
  PDEVICE_OBJECT device = static_cast<PDEVICE_OBJECT>(LookupObject(path));
  if (device == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  return CreateFileOnDevice(device, KString(), FILE_OPEN, 0, handle, nullptr, GENERIC_READ | GENERIC_WRITE);
}

NTSTATUS ReadFile(FileHandle &handle, ULONGLONG offset, void *buffer, ULONG length, ULONG *transferred,
                  bool cached) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  PFAST_IO_DISPATCH fastIo = FastIoOf(handle);
  if (cached && fastIo && fastIo->FastIoRead) {
    IO_STATUS_BLOCK status = {};
    if (fastIo->FastIoRead(handle.File(), &position, length, TRUE, 0, buffer, &status, handle.Top())) {
      if (transferred) *transferred = static_cast<ULONG>(status.Information);
      return status.Status;
    }
  }
  Request read(handle, IRP_MJ_READ);
  read.irp->UserBuffer = buffer;
  read.stack->Parameters.Read.Length = length;
  read.stack->Parameters.Read.ByteOffset = position;
  ULONG_PTR information = 0;
  NTSTATUS status = read.Send(&information);
  if (transferred) *transferred = static_cast<ULONG>(information);
  return status;
}

NTSTATUS WriteFile(FileHandle &handle, ULONGLONG offset, const void *buffer, ULONG length, ULONG *transferred,
                   bool cached) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  PFAST_IO_DISPATCH fastIo = FastIoOf(handle);
  if (cached && fastIo && fastIo->FastIoWrite) {
    IO_STATUS_BLOCK status = {};
    if (fastIo->FastIoWrite(handle.File(), &position, length, TRUE, 0, const_cast<void *>(buffer), &status,
                            handle.Top())) {
      if (transferred) *transferred = static_cast<ULONG>(status.Information);
      return status.Status;
    }
  }
  Request write(handle, IRP_MJ_WRITE);
  write.irp->UserBuffer = const_cast<void *>(buffer);
  write.stack->Parameters.Write.Length = length;
  write.stack->Parameters.Write.ByteOffset = position;
  ULONG_PTR information = 0;
  NTSTATUS status = write.Send(&information);
  if (transferred) *transferred = static_cast<ULONG>(information);
  return status;
}

static NTSTATUS PagingTransfer(FileHandle &handle, UCHAR major, ULONGLONG offset, void *buffer, ULONG length,
                               ULONG *transferred) {
  Request paging(handle, major);
  paging.irp->Flags = IRP_PAGING_IO | IRP_NOCACHE | (major == IRP_MJ_READ ? IRP_SYNCHRONOUS_PAGING_IO : 0);
  paging.irp->RequestorMode = KernelMode;
  paging.irp->UserBuffer = buffer;
  paging.stack->Parameters.Read.Length = length;
  paging.stack->Parameters.Read.ByteOffset.QuadPart = static_cast<LONGLONG>(offset);
  ULONG_PTR information = 0;
  NTSTATUS status = paging.Send(&information);
  if (transferred) *transferred = static_cast<ULONG>(information);
  return status;
}

NTSTATUS PagingRead(FileHandle &handle, ULONGLONG offset, void *buffer, ULONG length, ULONG *transferred) {
  return PagingTransfer(handle, IRP_MJ_READ, offset, buffer, length, transferred);
}

NTSTATUS PagingWrite(FileHandle &handle, ULONGLONG offset, const void *buffer, ULONG length, ULONG *transferred) {
  return PagingTransfer(handle, IRP_MJ_WRITE, offset, const_cast<void *>(buffer), length, transferred);
}

NTSTATUS FileSystemControl(FileHandle &handle, ULONG code, UCHAR minor) {
  Request control(handle, IRP_MJ_FILE_SYSTEM_CONTROL, minor);
  if (minor == IRP_MN_KERNEL_CALL) control.irp->RequestorMode = KernelMode;
  control.stack->Parameters.FileSystemControl.FsControlCode = code;
  return control.Send();
}

static NTSTATUS SetInformation(FileHandle &handle, FILE_INFORMATION_CLASS kind, PVOID buffer, ULONG length) {
  Request set(handle, IRP_MJ_SET_INFORMATION);
  set.irp->AssociatedIrp.SystemBuffer = buffer;
  set.stack->Parameters.SetFile.Length = length;
  set.stack->Parameters.SetFile.FileInformationClass = kind;
  return set.Send();
}

NTSTATUS SetFilePosition(FileHandle &handle, LONGLONG position) {
  LARGE_INTEGER value;
  value.QuadPart = position;
  return SetInformation(handle, FilePositionInformation, &value, sizeof value);
}

NTSTATUS RenameFile(FileHandle &handle, const KString &newName) {
  KString target = newName;
  return SetInformation(handle, FileRenameInformation, &target, sizeof target);
}

NTSTATUS DeleteFile(FileHandle &handle) {
  BOOLEAN deleteFile = TRUE;
  return SetInformation(handle, FileDispositionInformation, &deleteFile, sizeof deleteFile);
}

NTSTATUS QueryStandardInformation(FileHandle &handle, FILE_STANDARD_INFORMATION &information, bool cached) {
  PFAST_IO_DISPATCH fastIo = FastIoOf(handle);
  if (cached && fastIo && fastIo->FastIoQueryStandardInfo) {
    IO_STATUS_BLOCK status = {};
    if (fastIo->FastIoQueryStandardInfo(handle.File(), TRUE, &information, &status, handle.Top()))
      return status.Status;
  }
  Request query(handle, IRP_MJ_QUERY_INFORMATION);
  query.irp->AssociatedIrp.SystemBuffer = &information;
  query.stack->Parameters.QueryFile.Length = sizeof information;
  query.stack->Parameters.QueryFile.FileInformationClass = FileStandardInformation;
  return query.Send();
}

NTSTATUS QueryVolumeAttributes(FileHandle &handle, ULONG &attributes) {
  union {
    FILE_FS_ATTRIBUTE_INFORMATION info;
    UCHAR bytes[64];
  } buffer;
  memset(&buffer, 0, sizeof buffer);
  Request query(handle, IRP_MJ_QUERY_VOLUME_INFORMATION);
  query.irp->AssociatedIrp.SystemBuffer = &buffer;
  query.stack->Parameters.QueryVolume.Length = sizeof buffer;
  query.stack->Parameters.QueryVolume.FsInformationClass = FileFsAttributeInformation;
  NTSTATUS status = query.Send();
  attributes = buffer.info.FileSystemAttributes;
  return status;
}

NTSTATUS SendRequest(FileHandle &handle, UCHAR major, UCHAR minor) {
  Request request(handle, major, minor);
  return request.Send();
}

NTSTATUS DeviceIoControl(FileHandle &handle, ULONG code, const void *input, ULONG inputLength, void *output,
                         ULONG outputLength, ULONG_PTR *information) {
  PFAST_IO_DISPATCH fastIo = FastIoOf(handle);
  if (fastIo && fastIo->FastIoDeviceControl) {
    IO_STATUS_BLOCK status = {};
    if (fastIo->FastIoDeviceControl(handle.File(), TRUE, const_cast<void *>(input), inputLength, output,
                                    outputLength, code, &status, handle.Top())) {
      if (information) *information = status.Information;
      return status.Status;
    }
  }
  // Buffered: one system buffer for both directions, as large as the larger of the two, and
  // guard bytes behind it that a driver writing past the end overwrites.
  const ULONG length = std::max<ULONG>(inputLength, outputLength);
  const size_t guardSize = 16;
  const UCHAR guard = 0xFD;
  std::vector<UCHAR> system(length + guardSize, guard);
  if (inputLength) memcpy(system.data(), input, inputLength);
  Request control(handle, IRP_MJ_DEVICE_CONTROL);
  control.irp->AssociatedIrp.SystemBuffer = (inputLength || outputLength) ? system.data() : nullptr;
  control.stack->Parameters.DeviceIoControl.InputBufferLength = inputLength;
  control.stack->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
  control.stack->Parameters.DeviceIoControl.IoControlCode = code;
  ULONG_PTR transferred = 0;
  NTSTATUS status = control.Send(&transferred);
  for (size_t i = length; i < system.size(); ++i) {
    if (system[i] != guard) {
      Violation("a driver wrote past the end of a control code's system buffer");
      break;
    }
  }
  if (transferred > outputLength) transferred = outputLength;
  if (output && transferred) memcpy(output, system.data(), transferred);
  if (information) *information = transferred;
  return status;
}

}  // namespace standin
