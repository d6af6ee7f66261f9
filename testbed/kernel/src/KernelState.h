// State shared by the stand-in's files: object records, the dispatcher lock, the checks.
#pragma once

#include "testbed/kernel/standin/Kernel.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

namespace standin {

enum class ObjectKind { Device, Driver, Event, Process };

// Header that precedes every object body the kernel hands out.
struct ObjectRecord {
  ObjectKind Kind;
  KString Name;            // full path in the namespace, empty when unnamed
  long References = 0;     // counted references besides the object's own existence
  bool Deleted = false;
  PDEVICE_OBJECT AttachedTo = nullptr;  // devices: the device directly below
  PVPB MountedVpb = nullptr;            // file-system volume devices: the VPB they mount
  size_t EventSets = 0;                 // events: KeSetEvent calls
  long OpenFiles = 0;                   // devices: file objects opened on it and not closed
  SecurityRecord Security;              // what ZwSetSecurityObject set
  void *Body = nullptr;
};

ObjectRecord *RecordOf(const void *object);  // nullptr for an unknown pointer

// Guards object records and references, and the process table, which lives in them.
std::recursive_mutex &ObjectLock();
ObjectRecord *NewRecord(ObjectKind kind, void *body);
void DropRecord(void *body);

// One lock for every waitable object, as the real dispatcher has.
std::mutex &DispatcherLock();
std::condition_variable &DispatcherSignal();

// A routine called above its IRQL limit, or another broken kernel rule.
void Violation(const std::string &what);
void CheckIrql(const char *routine, KIRQL limit);
void SetIrql(KIRQL level);

KString Upper(const KString &text);
KString FromUnicode(PCUNICODE_STRING string);

// Namespace internals.
NTSTATUS InsertNamedObject(const KString &path, void *object);
void RemoveNamedObject(const KString &path);
void *FindObject(const KString &path);

// Pool internals used by the kernel for its own blocks (not counted as driver pool).
void ResetPool();
void ResetClock();
void ResetNamespace();
void ResetIo();
void ShutdownIo();
void ResetWorkItems();
void ResetSystemInfo(const KernelConfig &config);
void ReportObjectLeaks(std::vector<std::string> &leaks);
void ReportPoolLeaks(std::vector<std::string> &leaks);
void AdvanceClockTo(ULONGLONG time);
void ResetRemoveLockWaits();
void ResetProcesses();
// An exited process's last reference went: its id is free again.
void FreeProcess(void *body);
void ResetCaller();
// Whether the calling thread's SIDs are granted every right of `desired` by the object's
// access list; objects without one admit everybody.
bool AccessGranted(const void *object, ACCESS_MASK desired);
ACCESS_MASK MapGenericFileRights(ACCESS_MASK mask);
// Cleanup and close of a file object, sent to the device as the I/O manager sends them.
void SendCloseRequests(PDEVICE_OBJECT device, PFILE_OBJECT file);
void FreeObject(void *body);

// Takes the failure counter down and reports whether this call fails.
bool ConsumeFailure(size_t &counter);

}  // namespace standin
