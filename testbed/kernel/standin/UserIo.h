// What user mode does through the I/O manager: open, read, write, rename, delete and query files
// on a volume (mounting it on first use), and open and control a device by its DOS name.
#pragma once

#include "testbed/kernel/standin/MemoryFileSystem.h"

namespace standin {

// One open file object; closing sends cleanup and close, as the last handle's close does.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  PFILE_OBJECT File() const { return file_; }
  PDEVICE_OBJECT Top() const { return top_; }
  NTSTATUS Close();

  // Internal to the I/O manager.
  void Attach(PFILE_OBJECT file, PDEVICE_OBJECT top, const KString &name);
  void Opened(PDEVICE_OBJECT device);

 private:
  PFILE_OBJECT file_ = nullptr;
  PDEVICE_OBJECT top_ = nullptr;
  PDEVICE_OBJECT opened_ = nullptr;  // the device the open counts against
  KString name_;
};

// Mounts the volume through the registered file systems, loading one through its recogniser
// when asked to.
NTSTATUS MountVolume(StorageVolume &volume);
// One mount request to one file system, whatever the volume's state, as a remount sends it.
NTSTATUS SendMountRequest(PDEVICE_OBJECT fileSystem, StorageVolume &volume);
// Opens for reading unless `access` asks for more. An exclusive device that is open already is
// refused before its driver sees the request, as is a caller its access list does not admit.
NTSTATUS CreateFile(StorageVolume &volume, const KString &path, ULONG disposition, ULONG options,
                    FileHandle &handle, ULONG_PTR *information = nullptr, ACCESS_MASK access = FILE_GENERIC_READ);
// Opens on a device directly: a network file system's control device or a device by its
// namespace path ("\??\Name").
NTSTATUS CreateFileOnDevice(PDEVICE_OBJECT device, const KString &path, ULONG disposition,
                            ULONG options, FileHandle &handle, ULONG_PTR *information = nullptr,
                            ACCESS_MASK access = FILE_GENERIC_READ);
// Opens for reading and writing, as a program that sends control codes does.
NTSTATUS OpenDevice(const KString &path, FileHandle &handle);

// `cached` tries the fast I/O path first, as a cached file's read and write do.
NTSTATUS ReadFile(FileHandle &handle, ULONGLONG offset, void *buffer, ULONG length,
                  ULONG *transferred, bool cached = false);
NTSTATUS WriteFile(FileHandle &handle, ULONGLONG offset, const void *buffer, ULONG length,
                   ULONG *transferred, bool cached = false);
// What the memory manager sends: a page fault's read, the mapped or modified page writer's
// write. Non-cached and marked IRP_PAGING_IO; the caller picks the process and the IRQL.
NTSTATUS PagingRead(FileHandle &handle, ULONGLONG offset, void *buffer, ULONG length, ULONG *transferred);
NTSTATUS PagingWrite(FileHandle &handle, ULONGLONG offset, const void *buffer, ULONG length,
                     ULONG *transferred);
NTSTATUS SetFilePosition(FileHandle &handle, LONGLONG position);
NTSTATUS RenameFile(FileHandle &handle, const KString &newName);
NTSTATUS DeleteFile(FileHandle &handle);
NTSTATUS QueryStandardInformation(FileHandle &handle, FILE_STANDARD_INFORMATION &information,
                                  bool cached = false);
NTSTATUS QueryVolumeAttributes(FileHandle &handle, ULONG &attributes);
// Any other request without parameters (flush, set EA, set quota, PnP, directory control, ...).
NTSTATUS SendRequest(FileHandle &handle, UCHAR major, UCHAR minor = 0);
// A file-system control code without buffers, as a user program or a kernel caller sends it.
NTSTATUS FileSystemControl(FileHandle &handle, ULONG code, UCHAR minor = IRP_MN_USER_FS_REQUEST);
NTSTATUS DeviceIoControl(FileHandle &handle, ULONG code, const void *input, ULONG inputLength,
                         void *output, ULONG outputLength, ULONG_PTR *information);

}  // namespace standin
