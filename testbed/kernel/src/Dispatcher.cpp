// Waitable objects, the virtual clock, fast mutexes and spin locks.
#include "testbed/kernel/src/KernelState.h"

#include <atomic>
#include <thread>

namespace standin {
namespace {

enum : UCHAR { EventObject = 1, TimerObject = 8 };

std::mutex clockLock;
ULONGLONG now = 0;
std::multimap<ULONGLONG, std::function<void()>> hooks;

// Distinct per thread, never reused while the thread runs: the owner of a fast mutex.
PVOID CurrentThreadToken() {
  static thread_local char token;
  return &token;
}

ULONGLONG DueTimeFrom(LONGLONG interval) {
  std::lock_guard<std::mutex> guard(clockLock);
  return interval < 0 ? now + static_cast<ULONGLONG>(-interval) : static_cast<ULONGLONG>(interval);
}

}  // namespace

std::mutex &DispatcherLock() {
  static std::mutex lock;
  return lock;
}

std::condition_variable &DispatcherSignal() {
  static std::condition_variable signal;
  return signal;
}

void ResetClock() {
  std::lock_guard<std::mutex> guard(clockLock);
  now = 0;
  hooks.clear();
}

ULONGLONG Now() {
  std::lock_guard<std::mutex> guard(clockLock);
  return now;
}

ULONGLONG Milliseconds(ULONGLONG ms) { return ms * 10000; }

void At(ULONGLONG time, std::function<void()> hook) {
  std::lock_guard<std::mutex> guard(clockLock);
  hooks.emplace(time, std::move(hook));
}

// Moves the clock forward, running each hook that falls due on the way, outside the lock:
// hooks call into drivers, which may wait again.
void AdvanceClockTo(ULONGLONG time) {
  for (;;) {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> guard(clockLock);
      auto first = hooks.begin();
      if (first == hooks.end() || first->first > time) {
        if (time > now) now = time;
        return;
      }
      if (first->first > now) now = first->first;
      hook = std::move(first->second);
      hooks.erase(first);
    }
    hook();
  }
}

}  // namespace standin

using namespace standin;

VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
  UNREFERENCED_PARAMETER(Type);
  Event->Header.Type = EventObject;
  Event->Header.SignalState = State ? 1 : 0;
}

LONG KeSetEvent(PRKEVENT Event, LONG Increment, BOOLEAN Wait) {
  CheckIrql("KeSetEvent", DISPATCH_LEVEL);
  UNREFERENCED_PARAMETER(Increment);
  UNREFERENCED_PARAMETER(Wait);
  std::lock_guard<std::mutex> guard(DispatcherLock());
  LONG previous = Event->Header.SignalState;
  Event->Header.SignalState = 1;
  if (ObjectRecord *record = RecordOf(Event)) record->EventSets++;
  DispatcherSignal().notify_all();
  return previous;
}

VOID KeClearEvent(PRKEVENT Event) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  Event->Header.SignalState = 0;
}

VOID KeInitializeTimer(PKTIMER Timer) {
  Timer->Header.Type = TimerObject;
  Timer->Header.SignalState = 0;
  Timer->DueTime = 0;
}

BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc) {
  CheckIrql("KeSetTimer", DISPATCH_LEVEL);
  if (Dpc != nullptr) Violation("KeSetTimer with a DPC: the stand-in runs none");
  Timer->DueTime = DueTimeFrom(DueTime.QuadPart);
  Timer->Header.SignalState = 0;
  return FALSE;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
  UNREFERENCED_PARAMETER(WaitReason);
  UNREFERENCED_PARAMETER(WaitMode);
  UNREFERENCED_PARAMETER(Alertable);
  if (Timeout == nullptr || Timeout->QuadPart != 0) CheckIrql("KeWaitForSingleObject", APC_LEVEL);
  DISPATCHER_HEADER *header = static_cast<DISPATCHER_HEADER *>(Object);
  if (header->Type == TimerObject) {
    PKTIMER timer = static_cast<PKTIMER>(Object);
    AdvanceClockTo(timer->DueTime);
    timer->Header.SignalState = 1;
    return STATUS_SUCCESS;
  }
  if (Timeout != nullptr) Violation("KeWaitForSingleObject on an event with a time-out");
  std::unique_lock<std::mutex> guard(DispatcherLock());
  DispatcherSignal().wait(guard, [header] { return header->SignalState != 0; });
  return STATUS_SUCCESS;
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval) {
  UNREFERENCED_PARAMETER(WaitMode);
  UNREFERENCED_PARAMETER(Alertable);
  CheckIrql("KeDelayExecutionThread", APC_LEVEL);
  AdvanceClockTo(DueTimeFrom(Interval->QuadPart));
  return STATUS_SUCCESS;
}

VOID ExInitializeFastMutex(PFAST_MUTEX FastMutex) {
  FastMutex->Count = 1;
  FastMutex->Owner = nullptr;
  FastMutex->OldIrql = PASSIVE_LEVEL;
}

VOID ExAcquireFastMutex(PFAST_MUTEX FastMutex) {
  CheckIrql("ExAcquireFastMutex", APC_LEVEL);
  KIRQL old = KeGetCurrentIrql();
  {
    std::unique_lock<std::mutex> guard(DispatcherLock());
    if (FastMutex->Owner == CurrentThreadToken()) {
      Violation("ExAcquireFastMutex of a fast mutex the thread already holds");
      abort();
    }
    DispatcherSignal().wait(guard, [FastMutex] { return FastMutex->Count == 1; });
    FastMutex->Count = 0;
    FastMutex->Owner = CurrentThreadToken();
    FastMutex->OldIrql = old;
  }
  SetIrql(APC_LEVEL);
}

VOID ExReleaseFastMutex(PFAST_MUTEX FastMutex) {
  KIRQL restore;
  {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    if (FastMutex->Owner != CurrentThreadToken()) Violation("ExReleaseFastMutex by a thread that does not own it");
    if (KeGetCurrentIrql() != APC_LEVEL) Violation("ExReleaseFastMutex not at APC_LEVEL");
    restore = FastMutex->OldIrql;
    FastMutex->Count = 1;
    FastMutex->Owner = nullptr;
    DispatcherSignal().notify_all();
  }
  SetIrql(restore);
}

VOID KeInitializeSpinLock(PKSPIN_LOCK SpinLock) { *SpinLock = 0; }

VOID KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
  CheckIrql("KeAcquireSpinLock", DISPATCH_LEVEL);
  *OldIrql = KeGetCurrentIrql();
  SetIrql(DISPATCH_LEVEL);
  while (__atomic_exchange_n(SpinLock, static_cast<KSPIN_LOCK>(1), __ATOMIC_ACQUIRE) != 0)
    std::this_thread::yield();
}

VOID KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  if (KeGetCurrentIrql() != DISPATCH_LEVEL) Violation("KeReleaseSpinLock not at DISPATCH_LEVEL");
  __atomic_store_n(SpinLock, static_cast<KSPIN_LOCK>(0), __ATOMIC_RELEASE);
  SetIrql(NewIrql);
}

// Remove locks: a count of requests inside the device, biased by one until the remover lets go.
namespace standin {
namespace {
std::atomic<size_t> removeLockWaits(0);
}

size_t RemoveLockWaits() { return removeLockWaits.load(); }
void ResetRemoveLockWaits() { removeLockWaits = 0; }

}  // namespace standin

VOID IoInitializeRemoveLockEx(PIO_REMOVE_LOCK Lock, ULONG AllocateTag, ULONG MaxLockedMinutes,
                              ULONG HighWatermark, ULONG RemlockSize) {
  UNREFERENCED_PARAMETER(AllocateTag);
  UNREFERENCED_PARAMETER(MaxLockedMinutes);
  UNREFERENCED_PARAMETER(HighWatermark);
  if (RemlockSize != sizeof(IO_REMOVE_LOCK)) Violation("IoInitializeRemoveLockEx with a wrong size");
  Lock->Removed = FALSE;
  Lock->IoCount = 1;
  KeInitializeEvent(&Lock->RemoveEvent, NotificationEvent, FALSE);
}

static VOID DropRemoveLockCount(PIO_REMOVE_LOCK Lock) {
  LONG count = __atomic_sub_fetch(&Lock->IoCount, 1, __ATOMIC_SEQ_CST);
  if (count < 0) Violation("remove lock released more often than acquired");
  if (count == 0) KeSetEvent(&Lock->RemoveEvent, IO_NO_INCREMENT, FALSE);
}

NTSTATUS IoAcquireRemoveLockEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, const char *File, ULONG Line,
                               ULONG RemlockSize) {
  UNREFERENCED_PARAMETER(Tag);
  UNREFERENCED_PARAMETER(File);
  UNREFERENCED_PARAMETER(Line);
  CheckIrql("IoAcquireRemoveLock", DISPATCH_LEVEL);
  if (RemlockSize != sizeof(IO_REMOVE_LOCK)) Violation("IoAcquireRemoveLockEx with a wrong size");
  __atomic_add_fetch(&RemoveLock->IoCount, 1, __ATOMIC_SEQ_CST);
  if (__atomic_load_n(&RemoveLock->Removed, __ATOMIC_SEQ_CST)) {
    DropRemoveLockCount(RemoveLock);
    return STATUS_DELETE_PENDING;
  }
  return STATUS_SUCCESS;
}

VOID IoReleaseRemoveLockEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, ULONG RemlockSize) {
  UNREFERENCED_PARAMETER(Tag);
  UNREFERENCED_PARAMETER(RemlockSize);
  CheckIrql("IoReleaseRemoveLock", DISPATCH_LEVEL);
  DropRemoveLockCount(RemoveLock);
}

VOID IoReleaseRemoveLockAndWaitEx(PIO_REMOVE_LOCK RemoveLock, PVOID Tag, ULONG RemlockSize) {
  UNREFERENCED_PARAMETER(Tag);
  UNREFERENCED_PARAMETER(RemlockSize);
  CheckIrql("IoReleaseRemoveLockAndWait", PASSIVE_LEVEL);
  if (__atomic_exchange_n(&RemoveLock->Removed, TRUE, __ATOMIC_SEQ_CST))
    Violation("IoReleaseRemoveLockAndWait twice on one remove lock");
  // The caller's own acquisition, then the bias: what is left are requests still inside.
  DropRemoveLockCount(RemoveLock);
  if (__atomic_sub_fetch(&RemoveLock->IoCount, 1, __ATOMIC_SEQ_CST) > 0) {
    ++removeLockWaits;
    KeWaitForSingleObject(&RemoveLock->RemoveEvent, Executive, KernelMode, FALSE, nullptr);
  }
}
