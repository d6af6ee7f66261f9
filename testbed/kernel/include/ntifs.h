// Kernel stand-in: the file-system names of ntifs.h that the filter driver uses.
#pragma once
#include <ntddk.h>

typedef BOOLEAN(NTAPI FAST_IO_CHECK_IF_POSSIBLE)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                                 ULONG Length, BOOLEAN Wait, ULONG LockKey,
                                                 BOOLEAN CheckForReadOperation,
                                                 PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_READ)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length,
                                    BOOLEAN Wait, ULONG LockKey, PVOID Buffer,
                                    PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_WRITE)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length,
                                     BOOLEAN Wait, ULONG LockKey, PVOID Buffer,
                                     PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_QUERY_BASIC_INFO)(PFILE_OBJECT FileObject, BOOLEAN Wait,
                                                PFILE_BASIC_INFORMATION Buffer,
                                                PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_QUERY_STANDARD_INFO)(PFILE_OBJECT FileObject, BOOLEAN Wait,
                                                   PFILE_STANDARD_INFORMATION Buffer,
                                                   PIO_STATUS_BLOCK IoStatus,
                                                   PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_LOCK)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                    PLARGE_INTEGER Length, PEPROCESS ProcessId, ULONG Key,
                                    BOOLEAN FailImmediately, BOOLEAN ExclusiveLock,
                                    PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_UNLOCK_SINGLE)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                             PLARGE_INTEGER Length, PEPROCESS ProcessId, ULONG Key,
                                             PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_UNLOCK_ALL)(PFILE_OBJECT FileObject, PEPROCESS ProcessId,
                                          PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_UNLOCK_ALL_BY_KEY)(PFILE_OBJECT FileObject, PVOID ProcessId, ULONG Key,
                                                 PIO_STATUS_BLOCK IoStatus,
                                                 PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_DEVICE_CONTROL)(PFILE_OBJECT FileObject, BOOLEAN Wait,
                                              PVOID InputBuffer, ULONG InputBufferLength,
                                              PVOID OutputBuffer, ULONG OutputBufferLength,
                                              ULONG IoControlCode, PIO_STATUS_BLOCK IoStatus,
                                              PDEVICE_OBJECT DeviceObject);
typedef VOID(NTAPI FAST_IO_ACQUIRE_FILE)(PFILE_OBJECT FileObject);
typedef VOID(NTAPI FAST_IO_RELEASE_FILE)(PFILE_OBJECT FileObject);
typedef VOID(NTAPI FAST_IO_DETACH_DEVICE)(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice);
typedef BOOLEAN(NTAPI FAST_IO_QUERY_NETWORK_OPEN_INFO)(PFILE_OBJECT FileObject, BOOLEAN Wait,
                                                       PFILE_NETWORK_OPEN_INFORMATION Buffer,
                                                       PIO_STATUS_BLOCK IoStatus,
                                                       PDEVICE_OBJECT DeviceObject);
typedef NTSTATUS(NTAPI FAST_IO_ACQUIRE_FOR_MOD_WRITE)(PFILE_OBJECT FileObject,
                                                      PLARGE_INTEGER EndingOffset,
                                                      PERESOURCE *ResourceToRelease,
                                                      PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_MDL_READ)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                        ULONG Length, ULONG LockKey, PMDL *MdlChain,
                                        PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_MDL_READ_COMPLETE)(PFILE_OBJECT FileObject, PMDL MdlChain,
                                                 PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_PREPARE_MDL_WRITE)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                                 ULONG Length, ULONG LockKey, PMDL *MdlChain,
                                                 PIO_STATUS_BLOCK IoStatus,
                                                 PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_MDL_WRITE_COMPLETE)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                                  PMDL MdlChain, PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_READ_COMPRESSED)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                               ULONG Length, ULONG LockKey, PVOID Buffer,
                                               PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus,
                                               PCOMPRESSED_DATA_INFO CompressedDataInfo,
                                               ULONG CompressedDataInfoLength,
                                               PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_WRITE_COMPRESSED)(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset,
                                                ULONG Length, ULONG LockKey, PVOID Buffer,
                                                PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus,
                                                PCOMPRESSED_DATA_INFO CompressedDataInfo,
                                                ULONG CompressedDataInfoLength,
                                                PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_MDL_READ_COMPLETE_COMPRESSED)(PFILE_OBJECT FileObject, PMDL MdlChain,
                                                            PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_MDL_WRITE_COMPLETE_COMPRESSED)(PFILE_OBJECT FileObject,
                                                             PLARGE_INTEGER FileOffset,
                                                             PMDL MdlChain,
                                                             PDEVICE_OBJECT DeviceObject);
typedef BOOLEAN(NTAPI FAST_IO_QUERY_OPEN)(PIRP Irp, PFILE_NETWORK_OPEN_INFORMATION NetworkInformation,
                                          PDEVICE_OBJECT DeviceObject);
typedef NTSTATUS(NTAPI FAST_IO_RELEASE_FOR_MOD_WRITE)(PFILE_OBJECT FileObject,
                                                      PERESOURCE ResourceToRelease,
                                                      PDEVICE_OBJECT DeviceObject);
typedef NTSTATUS(NTAPI FAST_IO_ACQUIRE_FOR_CCFLUSH)(PFILE_OBJECT FileObject,
                                                    PDEVICE_OBJECT DeviceObject);
typedef NTSTATUS(NTAPI FAST_IO_RELEASE_FOR_CCFLUSH)(PFILE_OBJECT FileObject,
                                                    PDEVICE_OBJECT DeviceObject);

typedef struct _FAST_IO_DISPATCH {
  ULONG SizeOfFastIoDispatch;
  FAST_IO_CHECK_IF_POSSIBLE *FastIoCheckIfPossible;
  FAST_IO_READ *FastIoRead;
  FAST_IO_WRITE *FastIoWrite;
  FAST_IO_QUERY_BASIC_INFO *FastIoQueryBasicInfo;
  FAST_IO_QUERY_STANDARD_INFO *FastIoQueryStandardInfo;
  FAST_IO_LOCK *FastIoLock;
  FAST_IO_UNLOCK_SINGLE *FastIoUnlockSingle;
  FAST_IO_UNLOCK_ALL *FastIoUnlockAll;
  FAST_IO_UNLOCK_ALL_BY_KEY *FastIoUnlockAllByKey;
  FAST_IO_DEVICE_CONTROL *FastIoDeviceControl;
  FAST_IO_ACQUIRE_FILE *AcquireFileForNtCreateSection;
  FAST_IO_RELEASE_FILE *ReleaseFileForNtCreateSection;
  FAST_IO_DETACH_DEVICE *FastIoDetachDevice;
  FAST_IO_QUERY_NETWORK_OPEN_INFO *FastIoQueryNetworkOpenInfo;
  FAST_IO_ACQUIRE_FOR_MOD_WRITE *AcquireForModWrite;
  FAST_IO_MDL_READ *MdlRead;
  FAST_IO_MDL_READ_COMPLETE *MdlReadComplete;
  FAST_IO_PREPARE_MDL_WRITE *PrepareMdlWrite;
  FAST_IO_MDL_WRITE_COMPLETE *MdlWriteComplete;
  FAST_IO_READ_COMPRESSED *FastIoReadCompressed;
  FAST_IO_WRITE_COMPRESSED *FastIoWriteCompressed;
  FAST_IO_MDL_READ_COMPLETE_COMPRESSED *MdlReadCompleteCompressed;
  FAST_IO_MDL_WRITE_COMPLETE_COMPRESSED *MdlWriteCompleteCompressed;
  FAST_IO_QUERY_OPEN *FastIoQueryOpen;
  FAST_IO_RELEASE_FOR_MOD_WRITE *ReleaseForModWrite;
  FAST_IO_ACQUIRE_FOR_CCFLUSH *AcquireForCcFlush;
  FAST_IO_RELEASE_FOR_CCFLUSH *ReleaseForCcFlush;
} FAST_IO_DISPATCH, *PFAST_IO_DISPATCH;

typedef VOID(NTAPI DRIVER_FS_NOTIFICATION)(PDEVICE_OBJECT DeviceObject, BOOLEAN FsActive);
typedef DRIVER_FS_NOTIFICATION *PDRIVER_FS_NOTIFICATION;

NTSTATUS IoRegisterFsRegistrationChange(PDRIVER_OBJECT DriverObject,
                                        PDRIVER_FS_NOTIFICATION DriverNotificationRoutine);
NTSTATUS IoEnumerateDeviceObjectList(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT *DeviceObjectList,
                                     ULONG DeviceObjectListSize, PULONG ActualNumberDeviceObjects);
NTSTATUS ObQueryNameString(PVOID Object, POBJECT_NAME_INFORMATION ObjectNameInfo, ULONG Length,
                           PULONG ReturnLength);
// A referenced pointer to the process with this id while one exists, exited processes that are
// still referenced included; STATUS_INVALID_CID otherwise. At most APC_LEVEL.
NTSTATUS PsLookupProcessByProcessId(HANDLE ProcessId, PEPROCESS *Process);
