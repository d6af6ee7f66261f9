//
//  The control device: the one-open rule and the four control codes.
//
#include "driver/QEVRINd.h"

static ULONG ReadUlong(const UCHAR *Bytes) {
  return (ULONG)Bytes[0] | ((ULONG)Bytes[1] << 8) | ((ULONG)Bytes[2] << 16) | ((ULONG)Bytes[3] << 24);
}

//
//  One handle at a time: the first open takes the device, a second fails until it is closed.
//
NTSTATUS ControlDeviceCreate(PIRP Irp) {
  KIRQL oldIrql;
  NTSTATUS status;
  KeAcquireSpinLock(&gControlOpenLock, &oldIrql);
  if (gControlOpenState == CONTROL_DEVICE_FREE) {
    gControlOpenState = CONTROL_DEVICE_OPEN;
    status = STATUS_SUCCESS;
  } else {
    status = STATUS_DEVICE_ALREADY_ATTACHED;
  }
  KeReleaseSpinLock(&gControlOpenLock, oldIrql);

  Irp->IoStatus.Status = status;
  Irp->IoStatus.Information = NT_SUCCESS(status) ? FILE_OPENED : 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS ControlDeviceClose(PIRP Irp) {
  KIRQL oldIrql;
  KeAcquireSpinLock(&gControlOpenLock, &oldIrql);
  gControlOpenState = CONTROL_DEVICE_CLOSING;
  KeReleaseSpinLock(&gControlOpenLock, oldIrql);
  KeAcquireSpinLock(&gControlOpenLock, &oldIrql);
  gControlOpenState = CONTROL_DEVICE_FREE;
  KeReleaseSpinLock(&gControlOpenLock, oldIrql);

  Irp->IoStatus.Status = STATUS_SUCCESS;
  Irp->IoStatus.Information = 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return STATUS_SUCCESS;
}

NTSTATUS ControlDeviceInvalidRequest(PIRP Irp) {
  Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  Irp->IoStatus.Information = 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

//
//  Checks a FILTER_VOLUME_RULES buffer entry by entry before anything changes. A name must be
//  a whole number of UTF-16 units and fit a counted string with its terminator; the whole
//  buffer must not exceed FILTER_MAX_RULE_TABLE_SIZE.
//
NTSTATUS ValidateVolumeRules(const UCHAR *Buffer, ULONG Length) {
  if (Buffer == NULL || Length < 8 || Length > FILTER_MAX_RULE_TABLE_SIZE) return STATUS_INVALID_PARAMETER;
  ULONG count = ReadUlong(Buffer + 4);
  ULONG remaining = Length - 8;
  const UCHAR *cursor = Buffer + 8;
  for (ULONG index = 0; index < count; ++index) {
    if (remaining < 4) return STATUS_INVALID_PARAMETER;
    ULONG nameLength = ReadUlong(cursor);
    remaining -= 4;
    cursor += 4;
    if (remaining < nameLength) return STATUS_INVALID_PARAMETER;
    if ((nameLength & 1) != 0 || nameLength > 0xFFFC) return STATUS_INVALID_PARAMETER;
    remaining -= nameLength;
    cursor += nameLength;
    if (remaining < 4) return STATUS_INVALID_PARAMETER;
    remaining -= 4;
    cursor += 4;
  }
  return STATUS_SUCCESS;
}

//
//  Runs one control code on the request's system buffer (input and output share it).
//  PASSIVE_LEVEL, in the service's context.
//
VOID ControlDeviceIoctl(PVOID Buffer, ULONG InputLength, ULONG OutputLength, ULONG IoControlCode,
                        PIO_STATUS_BLOCK IoStatus) {
  IoStatus->Information = 0;
  const UCHAR *input = (const UCHAR *)Buffer;
  switch (IoControlCode) {
    case IOCTL_FILTER_GET_VERSION: {
      if (Buffer == NULL || OutputLength < FILTER_INTERFACE_VERSION_SIZE) {
        IoStatus->Status = STATUS_INVALID_PARAMETER;
        break;
      }
      static const UCHAR version[FILTER_INTERFACE_VERSION_SIZE] = {1, 0, 0, 0, 1, 0, 1, 0};
      RtlCopyMemory(Buffer, version, sizeof(version));
      IoStatus->Information = FILTER_INTERFACE_VERSION_SIZE;
      IoStatus->Status = STATUS_SUCCESS;
      break;
    }
    case IOCTL_FILTER_SET_VOLUME_RULES:
      IoStatus->Status = ValidateVolumeRules(input, InputLength);
      if (NT_SUCCESS(IoStatus->Status)) IoStatus->Status = SetVolumeRules(input, InputLength);
      break;
    case IOCTL_FILTER_ADD_EXEMPT_PROCESS:
      IoStatus->Status = (input == NULL || InputLength < 4) ? STATUS_INVALID_PARAMETER
                                                             : AddExemptProcess(ReadUlong(input));
      break;
    case IOCTL_FILTER_REMOVE_EXEMPT_PROCESS:
      IoStatus->Status = (input == NULL || InputLength < 4) ? STATUS_INVALID_PARAMETER
                                                             : RemoveExemptProcess(ReadUlong(input));
      break;
    default:
      IoStatus->Status = STATUS_INVALID_PARAMETER;
      break;
  }
}
