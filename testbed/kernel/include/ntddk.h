// Kernel stand-in: the names of ntddk.h beyond wdm.h that the driver uses.
#pragma once
#include <wdm.h>

// Closes, below the caller, a file that the file system opened for a create the caller is about
// to fail: cleanup and close go to `DeviceObject`. Only before a handle exists; PASSIVE_LEVEL.
VOID IoCancelFileOpen(PDEVICE_OBJECT DeviceObject, PFILE_OBJECT FileObject);
// STATUS_PENDING while the process runs; its exit status from the moment it starts to exit.
NTSTATUS PsGetProcessExitStatus(PEPROCESS Process);
