// The kernel stand-in's own controls: what a test sets up before loading a driver and what it
// inspects afterwards. The NT names themselves come from <wdm.h>/<ntifs.h> of this stand-in.
#pragma once

#include <ntifs.h>

#include <functional>
#include <string>
#include <vector>

namespace standin {

typedef std::basic_string<WCHAR> KString;

#if defined(_WIN32)
#define KTEXT(s) L##s
#else
#define KTEXT(s) u##s
#endif

struct KernelConfig {
  ULONG MajorVersion = 6;
  ULONG MinorVersion = 1;
  bool FiltersDirectory = true;            // "\FileSystem\Filters" exists
  std::vector<std::string> MissingRoutines;  // not found by MmGetSystemRoutineAddress
};

// A fresh kernel: empty namespace with the standard directories, clock at 0, no pool in use.
void ResetKernel(const KernelConfig &config = KernelConfig());
// Waits for queued work, deletes every object the kernel still holds and reports what leaked.
void ShutdownKernel();

// Everything a routine did that the real kernel forbids: an IRQL above a routine's limit, a
// lock released by a thread that does not own it, a block freed with another tag, ...
std::vector<std::string> Violations();
// Pool blocks still allocated, objects still referenced after deletion, "tag 0x...: n blocks".
std::vector<std::string> Leaks();

// IRQL of the calling thread, for a test that calls a routine at a raised level.
class IrqlRaise {
 public:
  explicit IrqlRaise(KIRQL level);
  ~IrqlRaise();
  IrqlRaise(const IrqlRaise &) = delete;
  IrqlRaise &operator=(const IrqlRaise &) = delete;

 private:
  KIRQL old_;
};

// Pool.
size_t LivePoolBlocks(ULONG tag = 0);
size_t PoolAllocations(POOL_TYPE type);  // allocations of that type since the reset
// The next `count` allocations (of `tag`, or any tag when 0) after `skip` matching ones fail.
void FailPoolAllocations(size_t count, ULONG tag = 0, size_t skip = 0);

// Virtual clock in 100-ns units. Waits advance it; a hook runs when a wait passes its time.
ULONGLONG Now();
void At(ULONGLONG time, std::function<void()> hook);
ULONGLONG Milliseconds(ULONGLONG ms);

// Process id that PsGetCurrentProcessId reports on the calling thread (1000 at start). A thread
// runs in a process: the id names a running process from then on, a new one when it was free.
void SetCurrentProcessId(ULONG pid);
// A process with this id runs from now on, unless one holds the id already. The System process
// (4) runs from the start.
void StartProcess(ULONG pid);
// Processes of the PC that run outside the stand-in (the programs under Wine): asked about an
// id that no process here holds. Their exits reach no process-notify routine.
void SetOutsideProcesses(std::function<bool(ULONG)> running);

// Named events under \BaseNamedObjects: how often KeSetEvent was called on one.
size_t EventSetCount(const KString &name);
bool EventExists(const KString &name);
bool EventSignalled(const KString &name);

// Processes: an exit sets the exit status and then runs every process-notify routine in the
// exiting process's context. The process object, and with it its id, lasts while something
// holds a reference to it (PsLookupProcessByProcessId takes one).
void EndProcess(ULONG pid);
size_t ProcessNotifyRoutines();

// The caller's identity for access checks on opens: the SIDs of its token ("S-1-5-32-544"),
// per thread. The default is an administrator, as the service runs.
void SetCallerSids(const std::vector<std::string> &sids);

// The access list set on an object with ZwSetSecurityObject, generic rights mapped.
struct AceRecord {
  UCHAR Type;
  UCHAR Flags;
  ACCESS_MASK Mask;
  std::string Sid;
};
struct SecurityRecord {
  bool Set = false;  // a descriptor was set on the object
  USHORT Control = 0;
  std::vector<AceRecord> Dacl;
};
SecurityRecord ObjectSecurity(PVOID object);

// Threads that wait in IoReleaseRemoveLockAndWait for requests to leave, since the reset.
size_t RemoveLockWaits();

// Namespace.
NTSTATUS CreateDirectoryObject(const KString &path);
NTSTATUS DeleteNamespaceEntry(const KString &path);
NTSTATUS CreateSymbolicLinkObject(const KString &link, const KString &target);
PVOID LookupObject(const KString &path);  // follows symbolic links; no reference taken
KString ObjectName(PVOID object);

// Failure injection for the next calls of a routine.
void FailNameQueries(size_t count, NTSTATUS status);
void FailAttachments(size_t count);
void FailSymbolicLinkCreations(size_t count);
void FailFsRegistrationChange(NTSTATUS status);
void FailDeviceCreations(size_t count, size_t skip = 0);
void FailProcessNotifyRegistration(NTSTATUS status);
// Runs at the start of each device enumeration that passes a list, while it is set: devices
// that appear between a driver's two calls.
void BeforeDeviceEnumeration(std::function<void()> hook);

// Drivers and file systems.
typedef NTSTATUS (*DriverInitialize)(PDRIVER_OBJECT, PUNICODE_STRING);
PDRIVER_OBJECT LoadDriver(const KString &name, DriverInitialize entry, NTSTATUS *status);
NTSTATUS IoRegisterFileSystem(PDEVICE_OBJECT deviceObject, bool recognizer);
VOID IoUnregisterFileSystem(PDEVICE_OBJECT deviceObject);
PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT deviceObject);
PDEVICE_OBJECT AttachedTo(PDEVICE_OBJECT deviceObject);  // device directly below, or none
std::vector<PDEVICE_OBJECT> RegisteredFileSystems();
// Waits until every queued work item has run.
void DrainWorkItems();

}  // namespace standin
