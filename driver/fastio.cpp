//
//  The fast I/O table: each entry passes to the file system's own entry below the filter.
//  Entries that start an operation take the fast path only where the policy allows it without
//  question; elsewhere they answer FALSE and the I/O manager sends a request packet, which the
//  policy gate decides.
//
#include "driver/QEVRINd.h"

FAST_IO_DISPATCH gFastIoDispatch;

//
//  The lower device and its driver's table when that table holds the entry at `Offset`.
//
static PFAST_IO_DISPATCH LowerFastIo(PDEVICE_OBJECT DeviceObject, SIZE_T Offset, PDEVICE_OBJECT *Lower) {
  if (!IsFilterDevice(DeviceObject)) return NULL;
  *Lower = ((PFILTER_DEVICE_EXTENSION)DeviceObject->DeviceExtension)->AttachedToDeviceObject;
  if (*Lower == NULL) return NULL;
  PFAST_IO_DISPATCH fastIo = (*Lower)->DriverObject->FastIoDispatch;
  if (fastIo == NULL || fastIo->SizeOfFastIoDispatch < Offset + sizeof(PVOID)) return NULL;
  if (*(PVOID *)((PUCHAR)fastIo + Offset) == NULL) return NULL;
  return fastIo;
}

#define LOWER_ENTRY(Entry) \
  PDEVICE_OBJECT lower = NULL; \
  PFAST_IO_DISPATCH fastIo = LowerFastIo(DeviceObject, __builtin_offsetof(FAST_IO_DISPATCH, Entry), &lower); \
  if (fastIo == NULL) return FALSE;

#define GATED_LOWER_ENTRY(Entry) \
  LOWER_ENTRY(Entry) \
  if (!FastIoPolicyAllows(DeviceObject)) return FALSE;

static BOOLEAN NTAPI FastIoCheckIfPossible(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length,
                                           BOOLEAN Wait, ULONG LockKey, BOOLEAN CheckForReadOperation,
                                           PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoCheckIfPossible)
  return fastIo->FastIoCheckIfPossible(FileObject, FileOffset, Length, Wait, LockKey, CheckForReadOperation, IoStatus,
                                       lower);
}

static BOOLEAN NTAPI FastIoRead(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, BOOLEAN Wait,
                                ULONG LockKey, PVOID Buffer, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoRead)
  return fastIo->FastIoRead(FileObject, FileOffset, Length, Wait, LockKey, Buffer, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoWrite(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, BOOLEAN Wait,
                                 ULONG LockKey, PVOID Buffer, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoWrite)
  return fastIo->FastIoWrite(FileObject, FileOffset, Length, Wait, LockKey, Buffer, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoQueryBasicInfo(PFILE_OBJECT FileObject, BOOLEAN Wait, PFILE_BASIC_INFORMATION Buffer,
                                          PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoQueryBasicInfo)
  return fastIo->FastIoQueryBasicInfo(FileObject, Wait, Buffer, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoQueryStandardInfo(PFILE_OBJECT FileObject, BOOLEAN Wait, PFILE_STANDARD_INFORMATION Buffer,
                                             PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoQueryStandardInfo)
  return fastIo->FastIoQueryStandardInfo(FileObject, Wait, Buffer, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoLock(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, PLARGE_INTEGER Length,
                                PEPROCESS ProcessId, ULONG Key, BOOLEAN FailImmediately, BOOLEAN ExclusiveLock,
                                PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoLock)
  return fastIo->FastIoLock(FileObject, FileOffset, Length, ProcessId, Key, FailImmediately, ExclusiveLock, IoStatus,
                            lower);
}

static BOOLEAN NTAPI FastIoUnlockSingle(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, PLARGE_INTEGER Length,
                                        PEPROCESS ProcessId, ULONG Key, PIO_STATUS_BLOCK IoStatus,
                                        PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(FastIoUnlockSingle)
  return fastIo->FastIoUnlockSingle(FileObject, FileOffset, Length, ProcessId, Key, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoUnlockAll(PFILE_OBJECT FileObject, PEPROCESS ProcessId, PIO_STATUS_BLOCK IoStatus,
                                     PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(FastIoUnlockAll)
  return fastIo->FastIoUnlockAll(FileObject, ProcessId, IoStatus, lower);
}

static BOOLEAN NTAPI FastIoUnlockAllByKey(PFILE_OBJECT FileObject, PVOID ProcessId, ULONG Key,
                                          PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(FastIoUnlockAllByKey)
  return fastIo->FastIoUnlockAllByKey(FileObject, ProcessId, Key, IoStatus, lower);
}

//
//  The control device declines: its control codes then arrive as buffered request packets,
//  never on the caller's raw pointers.
//
static BOOLEAN NTAPI FastIoDeviceControl(PFILE_OBJECT FileObject, BOOLEAN Wait, PVOID InputBuffer,
                                         ULONG InputBufferLength, PVOID OutputBuffer, ULONG OutputBufferLength,
                                         ULONG IoControlCode, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  if (DeviceObject == gControlDeviceObject) return FALSE;
  GATED_LOWER_ENTRY(FastIoDeviceControl)
  return fastIo->FastIoDeviceControl(FileObject, Wait, InputBuffer, InputBufferLength, OutputBuffer,
                                     OutputBufferLength, IoControlCode, IoStatus, lower);
}

//
//  The file system is tearing down the device below: the filter goes with it, once the
//  requests inside its policy gate have left.
//
static VOID NTAPI FastIoDetachDevice(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice) {
  CleanupDeviceExtension(SourceDevice);
  IoDetachDevice(TargetDevice);
  IoDeleteDevice(SourceDevice);
}

static BOOLEAN NTAPI FastIoQueryNetworkOpenInfo(PFILE_OBJECT FileObject, BOOLEAN Wait,
                                                PFILE_NETWORK_OPEN_INFORMATION Buffer, PIO_STATUS_BLOCK IoStatus,
                                                PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoQueryNetworkOpenInfo)
  return fastIo->FastIoQueryNetworkOpenInfo(FileObject, Wait, Buffer, IoStatus, lower);
}

static BOOLEAN NTAPI MdlRead(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, ULONG LockKey,
                             PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(MdlRead)
  return fastIo->MdlRead(FileObject, FileOffset, Length, LockKey, MdlChain, IoStatus, lower);
}

static BOOLEAN NTAPI MdlReadComplete(PFILE_OBJECT FileObject, PMDL MdlChain, PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(MdlReadComplete)
  return fastIo->MdlReadComplete(FileObject, MdlChain, lower);
}

static BOOLEAN NTAPI PrepareMdlWrite(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length, ULONG LockKey,
                                     PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus, PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(PrepareMdlWrite)
  return fastIo->PrepareMdlWrite(FileObject, FileOffset, Length, LockKey, MdlChain, IoStatus, lower);
}

static BOOLEAN NTAPI MdlWriteComplete(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, PMDL MdlChain,
                                      PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(MdlWriteComplete)
  return fastIo->MdlWriteComplete(FileObject, FileOffset, MdlChain, lower);
}

static BOOLEAN NTAPI FastIoReadCompressed(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length,
                                          ULONG LockKey, PVOID Buffer, PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus,
                                          PCOMPRESSED_DATA_INFO CompressedDataInfo, ULONG CompressedDataInfoLength,
                                          PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoReadCompressed)
  return fastIo->FastIoReadCompressed(FileObject, FileOffset, Length, LockKey, Buffer, MdlChain, IoStatus,
                                      CompressedDataInfo, CompressedDataInfoLength, lower);
}

static BOOLEAN NTAPI FastIoWriteCompressed(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, ULONG Length,
                                           ULONG LockKey, PVOID Buffer, PMDL *MdlChain, PIO_STATUS_BLOCK IoStatus,
                                           PCOMPRESSED_DATA_INFO CompressedDataInfo, ULONG CompressedDataInfoLength,
                                           PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoWriteCompressed)
  return fastIo->FastIoWriteCompressed(FileObject, FileOffset, Length, LockKey, Buffer, MdlChain, IoStatus,
                                       CompressedDataInfo, CompressedDataInfoLength, lower);
}

static BOOLEAN NTAPI MdlReadCompleteCompressed(PFILE_OBJECT FileObject, PMDL MdlChain, PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(MdlReadCompleteCompressed)
  return fastIo->MdlReadCompleteCompressed(FileObject, MdlChain, lower);
}

static BOOLEAN NTAPI MdlWriteCompleteCompressed(PFILE_OBJECT FileObject, PLARGE_INTEGER FileOffset, PMDL MdlChain,
                                                PDEVICE_OBJECT DeviceObject) {
  LOWER_ENTRY(MdlWriteCompleteCompressed)
  return fastIo->MdlWriteCompleteCompressed(FileObject, FileOffset, MdlChain, lower);
}

//
//  The file system expects its own device in the request's current stack location while it
//  answers; the filter's is put back afterwards.
//
static BOOLEAN NTAPI FastIoQueryOpen(PIRP Irp, PFILE_NETWORK_OPEN_INFORMATION NetworkInformation,
                                     PDEVICE_OBJECT DeviceObject) {
  GATED_LOWER_ENTRY(FastIoQueryOpen)
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  stack->DeviceObject = lower;
  BOOLEAN result = fastIo->FastIoQueryOpen(Irp, NetworkInformation, lower);
  stack->DeviceObject = DeviceObject;
  return result;
}

VOID InitializeFastIoDispatch(PFAST_IO_DISPATCH FastIo) {
  RtlZeroMemory(FastIo, sizeof(FAST_IO_DISPATCH));
  FastIo->SizeOfFastIoDispatch = sizeof(FAST_IO_DISPATCH);
  FastIo->FastIoCheckIfPossible = FastIoCheckIfPossible;
  FastIo->FastIoRead = FastIoRead;
  FastIo->FastIoWrite = FastIoWrite;
  FastIo->FastIoQueryBasicInfo = FastIoQueryBasicInfo;
  FastIo->FastIoQueryStandardInfo = FastIoQueryStandardInfo;
  FastIo->FastIoLock = FastIoLock;
  FastIo->FastIoUnlockSingle = FastIoUnlockSingle;
  FastIo->FastIoUnlockAll = FastIoUnlockAll;
  FastIo->FastIoUnlockAllByKey = FastIoUnlockAllByKey;
  FastIo->FastIoDeviceControl = FastIoDeviceControl;
  FastIo->FastIoDetachDevice = FastIoDetachDevice;
  FastIo->FastIoQueryNetworkOpenInfo = FastIoQueryNetworkOpenInfo;
  FastIo->MdlRead = MdlRead;
  FastIo->MdlReadComplete = MdlReadComplete;
  FastIo->PrepareMdlWrite = PrepareMdlWrite;
  FastIo->MdlWriteComplete = MdlWriteComplete;
  FastIo->FastIoReadCompressed = FastIoReadCompressed;
  FastIo->FastIoWriteCompressed = FastIoWriteCompressed;
  FastIo->MdlReadCompleteCompressed = MdlReadCompleteCompressed;
  FastIo->MdlWriteCompleteCompressed = MdlWriteCompleteCompressed;
  FastIo->FastIoQueryOpen = FastIoQueryOpen;
}
