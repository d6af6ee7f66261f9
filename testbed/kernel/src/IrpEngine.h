// The I/O manager's side of request packets, for the stand-in's own senders.
#pragma once

#include "testbed/kernel/src/KernelState.h"

namespace standin {

PIRP AllocateIrp(CCHAR stackSize);
void FreeIrp(PIRP irp);
// Calls the device and, when the request pends, waits until it is completed; its final status.
NTSTATUS SendAndWait(PDEVICE_OBJECT device, PIRP irp);

}  // namespace standin
