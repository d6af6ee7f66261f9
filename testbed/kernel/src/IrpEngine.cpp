// Request packets: stack locations, the call down a device stack and the completion walk up it
// with completion routines, STATUS_MORE_PROCESSING_REQUIRED and PendingReturned.
#include "testbed/kernel/src/IrpEngine.h"

namespace standin {
namespace {

struct IrpBlock {
  IRP Irp;
  LONG Completed;
  IO_STACK_LOCATION *Stack;
  ULONGLONG ReturnedPending;  // one bit per stack location whose dispatch routine said so
};

IrpBlock *BlockOf(PIRP irp) { return reinterpret_cast<IrpBlock *>(irp); }

// A location whose dispatch routine returned STATUS_PENDING must be marked pending by the time
// the request has completed: by the routine itself, or by its completion routine on the way up.
void CheckPendingMarks(IrpBlock *block) {
  for (int index = 0; index < block->Irp.StackCount; ++index) {
    if ((block->ReturnedPending >> index & 1) == 0) continue;
    if ((block->Stack[index].Control & SL_PENDING_RETURNED) == 0)
      Violation("a dispatch routine returned STATUS_PENDING without IoMarkIrpPending");
    block->ReturnedPending &= ~(1ULL << index);
  }
}

}  // namespace

PIRP AllocateIrp(CCHAR stackSize) {
  IrpBlock *block = new IrpBlock();
  block->Stack = new IO_STACK_LOCATION[stackSize]();
  PIRP irp = &block->Irp;
  irp->StackCount = stackSize;
  irp->CurrentLocation = static_cast<CHAR>(stackSize + 1);
  irp->Tail.Overlay.CurrentStackLocation = block->Stack + stackSize;
  irp->IoStatus.Status = STATUS_PENDING;
  return irp;
}

void FreeIrp(PIRP irp) {
  IrpBlock *block = BlockOf(irp);
  delete[] block->Stack;
  delete block;
}

NTSTATUS SendAndWait(PDEVICE_OBJECT device, PIRP irp) {
  NTSTATUS status = IofCallDriver(device, irp);
  std::unique_lock<std::mutex> guard(DispatcherLock());
  IrpBlock *block = BlockOf(irp);
  if (status == STATUS_PENDING) {
    DispatcherSignal().wait(guard, [block] { return block->Completed != 0; });
    return irp->IoStatus.Status;
  }
  if (!block->Completed) Violation("a request returned without pending and was not completed");
  else if (status != irp->IoStatus.Status) Violation("a dispatch routine returned another status than it completed with");
  return status;
}

void SendCloseRequests(PDEVICE_OBJECT device, PFILE_OBJECT file) {
  for (UCHAR major : {IRP_MJ_CLEANUP, IRP_MJ_CLOSE}) {
    PIRP irp = AllocateIrp(device->StackSize);
    irp->RequestorMode = KernelMode;
    PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
    stack->MajorFunction = major;
    stack->FileObject = file;
    SendAndWait(device, irp);
    FreeIrp(irp);
  }
}

}  // namespace standin

using namespace standin;

NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  CheckIrql("IoCallDriver", DISPATCH_LEVEL);
  if (Irp->CurrentLocation <= 1) {
    Violation("IoCallDriver without a free stack location");
    abort();
  }
  if (DeviceObject->Flags & DO_DEVICE_INITIALIZING) Violation("request sent to a device still initialising");
  Irp->CurrentLocation--;
  Irp->Tail.Overlay.CurrentStackLocation--;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  stack->DeviceObject = DeviceObject;
  NTSTATUS status = DeviceObject->DriverObject->MajorFunction[stack->MajorFunction](DeviceObject, Irp);
  // The sender frees the packet only after it completed, so the location is still there.
  if (status == STATUS_PENDING) {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    IrpBlock *block = BlockOf(Irp);
    block->ReturnedPending |= 1ULL << (stack - block->Stack);
    if (block->Completed) CheckPendingMarks(block);
  }
  return status;
}

VOID IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
  CheckIrql("IoCompleteRequest", DISPATCH_LEVEL);
  UNREFERENCED_PARAMETER(PriorityBoost);
  if (Irp->IoStatus.Status == STATUS_PENDING) Violation("request completed with STATUS_PENDING");
  while (Irp->CurrentLocation <= Irp->StackCount) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    Irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
    PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
    PVOID context = stack->Context;
    UCHAR control = stack->Control;
    stack->CompletionRoutine = nullptr;
    Irp->CurrentLocation++;
    Irp->Tail.Overlay.CurrentStackLocation++;
    bool invoke = routine != nullptr &&
                  ((NT_SUCCESS(Irp->IoStatus.Status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                   (!NT_SUCCESS(Irp->IoStatus.Status) && (control & SL_INVOKE_ON_ERROR)) ||
                   (Irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
    bool top = Irp->CurrentLocation > Irp->StackCount;
    if (invoke) {
      PDEVICE_OBJECT device = top ? nullptr : IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
      if (routine(device, Irp, context) == STATUS_MORE_PROCESSING_REQUIRED) return;
    } else if (Irp->PendingReturned && !top) {
      IoMarkIrpPending(Irp);
    }
  }
  std::lock_guard<std::mutex> guard(DispatcherLock());
  IrpBlock *block = BlockOf(Irp);
  block->Completed = 1;
  CheckPendingMarks(block);
  DispatcherSignal().notify_all();
}
