// A small in-memory file system, the storage volumes it mounts and a recogniser that loads it:
// enough of a file system for a filter to sit on and for requests to reach.
#pragma once

#include "testbed/kernel/standin/Kernel.h"

#include <map>
#include <set>
#include <thread>
#include <vector>

namespace standin {

// A storage device with its volume parameter block and the files it holds.
class StorageVolume {
 public:
  StorageVolume(const KString &deviceName, DEVICE_TYPE type = FILE_DEVICE_DISK);
  ~StorageVolume();
  StorageVolume(const StorageVolume &) = delete;
  StorageVolume &operator=(const StorageVolume &) = delete;

  PDEVICE_OBJECT Device() const { return device_; }
  PVPB Vpb() const { return device_->Vpb; }
  bool Mounted() const { return (Vpb()->Flags & VPB_MOUNTED) != 0; }
  PDEVICE_OBJECT MountedVolume() const { return Mounted() ? Vpb()->DeviceObject : nullptr; }
  // Asks the file system that mounted it to let it go (its volume device is deleted).
  void Dismount();

  std::map<KString, std::vector<UCHAR>> Files;

 private:
  PDEVICE_OBJECT device_ = nullptr;
};

class MemoryFileSystem {
 public:
  enum class MountMode { Synchronous, Pending, Refuse };

  // `name` gives "\FileSystem\<name>" for the driver and "\FileSystem\<name>Cdo" for its
  // control device.
  MemoryFileSystem(const KString &name, DEVICE_TYPE type = FILE_DEVICE_DISK_FILE_SYSTEM);
  ~MemoryFileSystem();
  MemoryFileSystem(const MemoryFileSystem &) = delete;
  MemoryFileSystem &operator=(const MemoryFileSystem &) = delete;

  void Register();
  void Unregister();
  bool Registered() const { return registered_; }
  void SetMountMode(MountMode mode) { mode_ = mode; }
  // Mounts the volume without any filter seeing it, as if it had been mounted at boot.
  NTSTATUS MountDirectly(StorageVolume &volume);
  // A network file system serves this share through its control device.
  void ServeShare(StorageVolume &share) { share_ = &share; }
  void SetFastIo(bool enabled);
  // The size its fast I/O table declares: entries beyond it are not there for a caller.
  void SetFastIoTableSize(ULONG size) { fastIo_.SizeOfFastIoDispatch = size; }
  // The device a query-open found in the request's current stack location.
  PDEVICE_OBJECT QueryOpenStackDevice() const { return queryOpenDevice_; }
  void SetQueryOpenStackDevice(PDEVICE_OBJECT device) { queryOpenDevice_ = device; }

  // Requests on its volumes: completed at this IRQL (a lower driver that completes from its
  // DPC), pending and completed on another thread, or failed with a status.
  void SetCompletionIrql(KIRQL level) { completionIrql_ = level; }
  KIRQL CompletionIrql() const { return completionIrql_; }
  void PendRequests(UCHAR major) { pended_.insert(major); }
  void FailRequests(UCHAR major, NTSTATUS status) { failed_[major] = status; }
  // Paging requests seen: IRP_PAGING_IO set.
  size_t PagingRequests() const { return pagingRequests_; }

  PDRIVER_OBJECT Driver() const { return driver_; }
  PDEVICE_OBJECT ControlDevice() const { return control_; }
  size_t FastIoCalls() const { return fastIoCalls_; }
  size_t Mounts() const { return mounts_; }

  // Dispatch of the file system's driver, for the stand-in's own routines.
  NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp);
  StorageVolume *ShareOf() const { return share_; }
  void CountFastIo() { ++fastIoCalls_; }
  NTSTATUS Mount(PVPB vpb, PDEVICE_OBJECT storage);
  void DismountVolume(PDEVICE_OBJECT volumeDevice);

 private:
  PDRIVER_OBJECT driver_ = nullptr;
  PDEVICE_OBJECT control_ = nullptr;
  DEVICE_TYPE type_;
  MountMode mode_ = MountMode::Synchronous;
  bool registered_ = false;
  StorageVolume *share_ = nullptr;
  size_t fastIoCalls_ = 0;
  size_t mounts_ = 0;
  std::vector<std::thread> completions_;
  std::vector<PDEVICE_OBJECT> volumes_;
  FAST_IO_DISPATCH fastIo_;
  KIRQL completionIrql_ = PASSIVE_LEVEL;
  std::set<UCHAR> pended_;
  std::map<UCHAR, NTSTATUS> failed_;
  size_t pagingRequests_ = 0;
  NTSTATUS Serve(PDEVICE_OBJECT device, PIRP irp);
  PDEVICE_OBJECT queryOpenDevice_ = nullptr;
};

// A recogniser: answers a mount with STATUS_FS_DRIVER_REQUIRED and, asked to load, registers
// the file system it stands for and goes away (or fails with `loadStatus`).
class FileSystemRecognizer {
 public:
  FileSystemRecognizer(const KString &driverName, MemoryFileSystem &fileSystem,
                       NTSTATUS loadStatus = STATUS_SUCCESS);
  ~FileSystemRecognizer();
  FileSystemRecognizer(const FileSystemRecognizer &) = delete;
  FileSystemRecognizer &operator=(const FileSystemRecognizer &) = delete;

  PDEVICE_OBJECT ControlDevice() const { return control_; }
  NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp);

 private:
  PDRIVER_OBJECT driver_ = nullptr;
  PDEVICE_OBJECT control_ = nullptr;
  MemoryFileSystem &fileSystem_;
  NTSTATUS loadStatus_;
};

}  // namespace standin
