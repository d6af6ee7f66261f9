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

// Process id that PsGetCurrentProcessId reports on the calling thread (1000 at start).
void SetCurrentProcessId(ULONG pid);

// Named events under \BaseNamedObjects: how often KeSetEvent was called on one.
size_t EventSetCount(const KString &name);
bool EventExists(const KString &name);

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
