//
//  Dispatch routines: requests on the control device go to its handlers, requests on filter
//  devices to the policy gate or, for mounts and loads, to the attachment code.
//
#include "driver/QEVRINd.h"

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (DeviceObject == gControlDeviceObject) return ControlDeviceCreate(Irp);
  return FilterDispatch(DeviceObject, Irp);
}

NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (DeviceObject == gControlDeviceObject) return ControlDeviceClose(Irp);
  return FilterDispatch(DeviceObject, Irp);
}

//
//  Mounts and file-system loads are followed. The control codes that change a volume's data
//  or metadata go through the policy gate like writes; every other file-system control
//  request (locks, dismounts, queries) passes to the file system without it.
//
NTSTATUS NTAPI DispatchFileSystemControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (DeviceObject == gControlDeviceObject) return ControlDeviceInvalidRequest(Irp);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  switch (stack->MinorFunction) {
    case IRP_MN_MOUNT_VOLUME:
      return MountVolume(DeviceObject, Irp);
    case IRP_MN_LOAD_FILE_SYSTEM:
      return LoadFileSystem(DeviceObject, Irp);
    case IRP_MN_USER_FS_REQUEST:
    case IRP_MN_KERNEL_CALL:
      if (IsWritingFsControl(stack->Parameters.FileSystemControl.FsControlCode)) return FilterDispatch(DeviceObject, Irp);
      return PassThrough(DeviceObject, Irp);
    default:
      return PassThrough(DeviceObject, Irp);
  }
}

NTSTATUS NTAPI DispatchDefault(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  if (DeviceObject != gControlDeviceObject) return FilterDispatch(DeviceObject, Irp);

  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  switch (stack->MajorFunction) {
    case IRP_MJ_DEVICE_CONTROL:
      ControlDeviceIoctl(Irp->AssociatedIrp.SystemBuffer, stack->Parameters.DeviceIoControl.InputBufferLength,
                         stack->Parameters.DeviceIoControl.OutputBufferLength,
                         stack->Parameters.DeviceIoControl.IoControlCode, &Irp->IoStatus);
      break;
    case IRP_MJ_CLEANUP:
      Irp->IoStatus.Information = 0;
      Irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    default:
      Irp->IoStatus.Information = 0;
      Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
      break;
  }
  NTSTATUS status = Irp->IoStatus.Status;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

//
//  No unload routine: once loaded the driver stays. When the registration for file-system
//  changes fails, the fast I/O table is taken out again.
//
NTSTATUS InitializeDispatchAndFastIo(PDRIVER_OBJECT DriverObject) {
  DriverObject->DriverUnload = NULL;
  for (ULONG major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) DriverObject->MajorFunction[major] = DispatchDefault;
  DriverObject->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  DriverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
  DriverObject->MajorFunction[IRP_MJ_FILE_SYSTEM_CONTROL] = DispatchFileSystemControl;

  InitializeFastIoDispatch(&gFastIoDispatch);
  DriverObject->FastIoDispatch = &gFastIoDispatch;

  NTSTATUS status = IoRegisterFsRegistrationChange(DriverObject, FsNotification);
  if (!NT_SUCCESS(status)) DriverObject->FastIoDispatch = NULL;
  return status;
}
