// The object namespace (directories, symbolic links, named objects), object records and
// references, handles, object-name queries and named events.
#include "testbed/kernel/src/KernelState.h"

#include <map>
#include <mutex>
#include <thread>

namespace standin {
namespace {

enum class EntryKind { Directory, Link, Object };

struct Entry {
  EntryKind Kind;
  KString Target;
  void *Object = nullptr;
};

std::recursive_mutex objectLock;
std::map<KString, Entry> names;          // upper-case full path
std::map<const void *, ObjectRecord *> records;
std::map<HANDLE, void *> handles;
ULONG_PTR nextHandle = 4;
size_t nameQueryFailures = 0;
NTSTATUS nameQueryStatus = STATUS_UNSUCCESSFUL;

// Resolves symbolic links in every component but, when `keepLeaf`, the last one.
bool Resolve(const KString &path, bool keepLeaf, KString &resolved) {
  KString current = path;
  for (int depth = 0; depth < 32; ++depth) {
    if (current.empty() || current[0] != '\\') return false;
    size_t end = current.size();
    if (keepLeaf) {
      end = current.find_last_of('\\');
      if (end == 0) end = 1;
    }
    bool substituted = false;
    size_t position = 1;
    while (position <= end && position < current.size() + 1) {
      size_t next = current.find('\\', position);
      if (next == KString::npos || next > end) next = end;
      KString prefix = current.substr(0, next);
      auto found = names.find(Upper(prefix));
      if (found != names.end() && found->second.Kind == EntryKind::Link) {
        current = found->second.Target + current.substr(next);
        substituted = true;
        break;
      }
      if (next >= end) break;
      position = next + 1;
    }
    if (!substituted) {
      resolved = current;
      return true;
    }
  }
  return false;
}

NTSTATUS InsertEntry(const KString &path, const Entry &entry, KString *key) {
  KString resolved;
  if (!Resolve(path, true, resolved)) return STATUS_OBJECT_NAME_INVALID;
  size_t slash = resolved.find_last_of('\\');
  KString parent = slash == 0 ? KString(1, '\\') : resolved.substr(0, slash);
  if (parent.size() > 1) {
    auto found = names.find(Upper(parent));
    if (found == names.end() || found->second.Kind != EntryKind::Directory)
      return STATUS_OBJECT_PATH_NOT_FOUND;
  }
  KString upper = Upper(resolved);
  if (names.count(upper)) return STATUS_OBJECT_NAME_COLLISION;
  names[upper] = entry;
  if (key) *key = resolved;
  return STATUS_SUCCESS;
}

}  // namespace

KString Upper(const KString &text) {
  KString upper = text;
  for (auto &c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
  return upper;
}

KString FromUnicode(PCUNICODE_STRING string) {
  if (string == nullptr || string->Buffer == nullptr) return KString();
  return KString(string->Buffer, string->Length / sizeof(WCHAR));
}

void ResetNamespace() {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  names.clear();
  handles.clear();
  nameQueryFailures = 0;
  for (auto &record : records) {
    if (record.second->Kind == ObjectKind::Event) delete static_cast<PKEVENT>(record.second->Body);
    delete record.second;
  }
  records.clear();
}

ObjectRecord *RecordOf(const void *object) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  auto found = records.find(object);
  return found == records.end() ? nullptr : found->second;
}

std::recursive_mutex &ObjectLock() { return objectLock; }

ObjectRecord *NewRecord(ObjectKind kind, void *body) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  ObjectRecord *record = new ObjectRecord;
  record->Kind = kind;
  record->Body = body;
  records[body] = record;
  return record;
}

void DropRecord(void *body) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  auto found = records.find(body);
  if (found == records.end()) return;
  delete found->second;
  records.erase(found);
}

std::vector<ObjectRecord *> AllRecords() {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  std::vector<ObjectRecord *> all;
  for (auto &record : records) all.push_back(record.second);
  return all;
}

NTSTATUS InsertNamedObject(const KString &path, void *object) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  Entry entry{EntryKind::Object, KString(), object};
  KString resolved;
  NTSTATUS status = InsertEntry(path, entry, &resolved);
  if (NT_SUCCESS(status)) {
    if (ObjectRecord *record = RecordOf(object)) record->Name = resolved;
  }
  return status;
}

void RemoveNamedObject(const KString &path) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  names.erase(Upper(path));
}

void *FindObject(const KString &path) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  KString resolved;
  if (!Resolve(path, false, resolved)) return nullptr;
  auto found = names.find(Upper(resolved));
  if (found == names.end() || found->second.Kind != EntryKind::Object) return nullptr;
  return found->second.Object;
}

NTSTATUS CreateDirectoryObject(const KString &path) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  return InsertEntry(path, Entry{EntryKind::Directory, KString(), nullptr}, nullptr);
}

NTSTATUS DeleteNamespaceEntry(const KString &path) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  KString resolved;
  if (!Resolve(path, true, resolved)) return STATUS_OBJECT_NAME_INVALID;
  KString upper = Upper(resolved);
  if (!names.count(upper)) return STATUS_OBJECT_NAME_NOT_FOUND;
  // A directory goes with everything under it.
  for (auto it = names.begin(); it != names.end();) {
    if (it->first == upper || it->first.compare(0, upper.size() + 1, upper + KString(1, '\\')) == 0)
      it = names.erase(it);
    else
      ++it;
  }
  return STATUS_SUCCESS;
}

NTSTATUS CreateSymbolicLinkObject(const KString &link, const KString &target) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  return InsertEntry(link, Entry{EntryKind::Link, target, nullptr}, nullptr);
}

PVOID LookupObject(const KString &path) { return FindObject(path); }

KString ObjectName(PVOID object) {
  ObjectRecord *record = RecordOf(object);
  return record ? record->Name : KString();
}

void FailNameQueries(size_t count, NTSTATUS status) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  nameQueryFailures = count;
  nameQueryStatus = status;
}

size_t EventSetCount(const KString &name) {
  PVOID event = FindObject(KTEXT("\\BaseNamedObjects\\") + name);
  ObjectRecord *record = event ? RecordOf(event) : nullptr;
  return record ? record->EventSets : 0;
}

bool EventExists(const KString &name) { return FindObject(KTEXT("\\BaseNamedObjects\\") + name) != nullptr; }

void ReportObjectLeaks(std::vector<std::string> &leaks) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  for (auto &record : records) {
    if (record.second->References > 0)
      leaks.push_back("object still referenced " + std::to_string(record.second->References) +
                      " times");
  }
  if (!handles.empty()) leaks.push_back(std::to_string(handles.size()) + " kernel handles open");
}

}  // namespace standin

using namespace standin;

VOID ObfReferenceObject(PVOID Object) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  ObjectRecord *record = RecordOf(Object);
  if (record == nullptr) {
    Violation("ObReferenceObject of an unknown object");
    return;
  }
  record->References++;
}

VOID ObfDereferenceObject(PVOID Object) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  ObjectRecord *record = RecordOf(Object);
  if (record == nullptr) {
    Violation("ObDereferenceObject of an unknown object");
    return;
  }
  if (record->References <= 0) {
    Violation("ObDereferenceObject without a reference");
    return;
  }
  if (--record->References == 0 && record->Deleted) FreeObject(Object);
}

NTSTATUS ObQueryNameString(PVOID Object, POBJECT_NAME_INFORMATION ObjectNameInfo, ULONG Length,
                           PULONG ReturnLength) {
  CheckIrql("ObQueryNameString", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  if (ConsumeFailure(nameQueryFailures)) return nameQueryStatus;
  ObjectRecord *record = RecordOf(Object);
  if (record == nullptr) return STATUS_INVALID_PARAMETER;
  ULONG nameBytes = static_cast<ULONG>(record->Name.size() * sizeof(WCHAR));
  ULONG needed = static_cast<ULONG>(sizeof(OBJECT_NAME_INFORMATION)) + nameBytes +
                 (nameBytes ? sizeof(WCHAR) : 0);
  *ReturnLength = needed;
  if (Length < needed) return STATUS_INFO_LENGTH_MISMATCH;
  ObjectNameInfo->Name.Length = static_cast<USHORT>(nameBytes);
  ObjectNameInfo->Name.MaximumLength = static_cast<USHORT>(needed - sizeof(OBJECT_NAME_INFORMATION));
  ObjectNameInfo->Name.Buffer = nameBytes ? reinterpret_cast<PWSTR>(ObjectNameInfo + 1) : nullptr;
  if (nameBytes) {
    memcpy(ObjectNameInfo->Name.Buffer, record->Name.data(), nameBytes);
    ObjectNameInfo->Name.Buffer[record->Name.size()] = 0;
  }
  return STATUS_SUCCESS;
}

PKEVENT IoCreateNotificationEvent(PUNICODE_STRING EventName, PHANDLE EventHandle) {
  CheckIrql("IoCreateNotificationEvent", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  KString path = FromUnicode(EventName);
  PKEVENT event = static_cast<PKEVENT>(FindObject(path));
  if (event == nullptr) {
    event = new KEVENT;
    // An event this routine creates starts signalled.
    KeInitializeEvent(event, NotificationEvent, TRUE);
    NewRecord(ObjectKind::Event, event);
    if (!NT_SUCCESS(InsertNamedObject(path, event))) {
      DropRecord(event);
      delete event;
      return nullptr;
    }
  }
  HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
  nextHandle += 4;
  handles[handle] = event;
  *EventHandle = handle;
  return event;
}

NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, PVOID ObjectType,
                                   KPROCESSOR_MODE AccessMode, PVOID *Object, PVOID HandleInfo) {
  UNREFERENCED_PARAMETER(DesiredAccess);
  UNREFERENCED_PARAMETER(ObjectType);
  UNREFERENCED_PARAMETER(AccessMode);
  UNREFERENCED_PARAMETER(HandleInfo);
  CheckIrql("ObReferenceObjectByHandle", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  auto found = handles.find(Handle);
  if (found == handles.end()) return STATUS_INVALID_PARAMETER;
  ObfReferenceObject(found->second);
  *Object = found->second;
  return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE Handle) {
  CheckIrql("ZwClose", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  if (handles.erase(Handle) == 0) {
    Violation("ZwClose of a handle that is not open");
    return STATUS_INVALID_PARAMETER;
  }
  return STATUS_SUCCESS;
}

// Security descriptors: built by drivers with the Rtl routines, set through a handle, kept in
// the object's record with generic rights mapped as the I/O manager maps them for devices.
namespace standin {
namespace {

const std::vector<std::string> administratorSids = {"S-1-5-21-1004336348-1177238915-682003330-500", "S-1-5-32-544",
                                                    "S-1-5-11"};
// The callers a test has set, by thread. Not a thread_local vector: with the mingw runtime a
// thread_local that has a destructor can be destroyed after its storage was released at the
// thread's end, which frees a stale pointer and corrupts the heap of the whole process.
std::mutex callerLock;
std::map<std::thread::id, std::vector<std::string>> callersByThread;

std::vector<std::string> CallerSids() {
  std::lock_guard<std::mutex> guard(callerLock);
  auto found = callersByThread.find(std::this_thread::get_id());
  return found == callersByThread.end() ? administratorSids : found->second;
}

std::string SidText(const SID *sid) {
  ULONGLONG authority = 0;
  for (UCHAR byte : sid->IdentifierAuthority.Value) authority = (authority << 8) | byte;
  std::string text = "S-" + std::to_string(sid->Revision) + "-" + std::to_string(authority);
  for (UCHAR i = 0; i < sid->SubAuthorityCount; ++i) text += "-" + std::to_string(sid->SubAuthority[i]);
  return text;
}

}  // namespace

ACCESS_MASK MapGenericFileRights(ACCESS_MASK mask) {
  if (mask & GENERIC_READ) mask |= FILE_GENERIC_READ;
  if (mask & GENERIC_WRITE) mask |= FILE_GENERIC_WRITE;
  if (mask & GENERIC_EXECUTE) mask |= FILE_GENERIC_EXECUTE;
  if (mask & GENERIC_ALL) mask |= FILE_ALL_ACCESS;
  return mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

void SetCallerSids(const std::vector<std::string> &sids) {
  std::lock_guard<std::mutex> guard(callerLock);
  callersByThread[std::this_thread::get_id()] = sids;
}
void ResetCaller() {
  std::lock_guard<std::mutex> guard(callerLock);
  callersByThread.erase(std::this_thread::get_id());
}

SecurityRecord ObjectSecurity(PVOID object) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  ObjectRecord *record = RecordOf(object);
  return record ? record->Security : SecurityRecord();
}

bool AccessGranted(const void *object, ACCESS_MASK desired) {
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  ObjectRecord *record = RecordOf(object);
  if (record == nullptr || !record->Security.Set) return true;
  ACCESS_MASK granted = 0;
  const std::vector<std::string> callers = CallerSids();
  for (const AceRecord &ace : record->Security.Dacl) {
    if (ace.Type != ACCESS_ALLOWED_ACE_TYPE) continue;
    for (const std::string &sid : callers)
      if (sid == ace.Sid) granted |= ace.Mask;
  }
  ACCESS_MASK wanted = MapGenericFileRights(desired);
  return (wanted & ~granted) == 0;
}

bool EventSignalled(const KString &name) {
  PKEVENT event = static_cast<PKEVENT>(FindObject(KTEXT("\\BaseNamedObjects\\") + name));
  if (event == nullptr) return false;
  std::lock_guard<std::mutex> guard(DispatcherLock());
  return event->Header.SignalState != 0;
}

}  // namespace standin

NTSTATUS RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR SecurityDescriptor, ULONG Revision) {
  if (Revision != SECURITY_DESCRIPTOR_REVISION) return STATUS_UNSUCCESSFUL;
  memset(SecurityDescriptor, 0, sizeof(SECURITY_DESCRIPTOR));
  static_cast<PISECURITY_DESCRIPTOR>(SecurityDescriptor)->Revision = static_cast<UCHAR>(Revision);
  return STATUS_SUCCESS;
}

NTSTATUS RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR SecurityDescriptor, BOOLEAN DaclPresent, PACL Dacl,
                                      BOOLEAN DaclDefaulted) {
  PISECURITY_DESCRIPTOR descriptor = static_cast<PISECURITY_DESCRIPTOR>(SecurityDescriptor);
  if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) return STATUS_UNSUCCESSFUL;
  if (descriptor->Control & SE_SELF_RELATIVE) return STATUS_INVALID_PARAMETER;
  descriptor->Control &= ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  descriptor->Dacl = nullptr;
  if (DaclPresent) {
    descriptor->Control |= SE_DACL_PRESENT;
    descriptor->Dacl = Dacl;
    if (DaclDefaulted) descriptor->Control |= SE_DACL_DEFAULTED;
  }
  return STATUS_SUCCESS;
}

ULONG RtlLengthSid(PSID Sid) {
  return static_cast<ULONG>(offsetof(SID, SubAuthority) + sizeof(ULONG) * static_cast<const SID *>(Sid)->SubAuthorityCount);
}

NTSTATUS RtlCreateAcl(PACL Acl, ULONG AclLength, ULONG AclRevision) {
  if (AclLength < sizeof(ACL) || AclLength > 0xFFFF || AclRevision != ACL_REVISION) return STATUS_INVALID_PARAMETER;
  memset(Acl, 0, sizeof(ACL));
  Acl->AclRevision = static_cast<UCHAR>(AclRevision);
  Acl->AclSize = static_cast<USHORT>(AclLength & ~3u);
  return STATUS_SUCCESS;
}

NTSTATUS RtlAddAccessAllowedAce(PACL Acl, ULONG AceRevision, ACCESS_MASK AccessMask, PSID Sid) {
  if (AceRevision != ACL_REVISION || Acl->AclRevision != ACL_REVISION) return STATUS_INVALID_PARAMETER;
  // The ACEs lie one after the other behind the header; the new one goes after the last.
  PUCHAR end = reinterpret_cast<PUCHAR>(Acl + 1);
  for (USHORT i = 0; i < Acl->AceCount; ++i) end += reinterpret_cast<PACE_HEADER>(end)->AceSize;
  ULONG sidLength = RtlLengthSid(Sid);
  ULONG aceSize = static_cast<ULONG>(offsetof(ACCESS_ALLOWED_ACE, SidStart)) + sidLength;
  if (end + aceSize > reinterpret_cast<PUCHAR>(Acl) + Acl->AclSize) return STATUS_BUFFER_TOO_SMALL;
  PACCESS_ALLOWED_ACE ace = reinterpret_cast<PACCESS_ALLOWED_ACE>(end);
  ace->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
  ace->Header.AceFlags = 0;
  ace->Header.AceSize = static_cast<USHORT>(aceSize);
  ace->Mask = AccessMask;
  memcpy(&ace->SidStart, Sid, sidLength);
  Acl->AceCount++;
  return STATUS_SUCCESS;
}

NTSTATUS ObOpenObjectByPointer(PVOID Object, ULONG HandleAttributes, PACCESS_STATE PassedAccessState,
                               ACCESS_MASK DesiredAccess, POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                               PHANDLE Handle) {
  UNREFERENCED_PARAMETER(PassedAccessState);
  UNREFERENCED_PARAMETER(DesiredAccess);
  CheckIrql("ObOpenObjectByPointer", PASSIVE_LEVEL);
  if (ObjectType == nullptr && AccessMode != KernelMode) return STATUS_INVALID_PARAMETER;
  if ((HandleAttributes & OBJ_KERNEL_HANDLE) == 0) Violation("ObOpenObjectByPointer without OBJ_KERNEL_HANDLE");
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  if (RecordOf(Object) == nullptr) return STATUS_INVALID_PARAMETER;
  HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
  nextHandle += 4;
  handles[handle] = Object;
  *Handle = handle;
  return STATUS_SUCCESS;
}

NTSTATUS ZwSetSecurityObject(HANDLE Handle, SECURITY_INFORMATION SecurityInformation,
                             PSECURITY_DESCRIPTOR SecurityDescriptor) {
  CheckIrql("ZwSetSecurityObject", PASSIVE_LEVEL);
  std::lock_guard<std::recursive_mutex> guard(objectLock);
  auto found = handles.find(Handle);
  if (found == handles.end()) return STATUS_INVALID_PARAMETER;
  ObjectRecord *record = RecordOf(found->second);
  if (record == nullptr) return STATUS_INVALID_PARAMETER;
  const SECURITY_DESCRIPTOR *descriptor = static_cast<const SECURITY_DESCRIPTOR *>(SecurityDescriptor);
  if (descriptor == nullptr || descriptor->Revision != SECURITY_DESCRIPTOR_REVISION ||
      (descriptor->Control & SE_SELF_RELATIVE))
    return STATUS_INVALID_PARAMETER;
  if ((SecurityInformation & DACL_SECURITY_INFORMATION) == 0) return STATUS_SUCCESS;
  SecurityRecord security;
  security.Set = true;
  security.Control = descriptor->Control;
  if ((descriptor->Control & SE_DACL_PRESENT) && descriptor->Dacl != nullptr) {
    const UCHAR *cursor = reinterpret_cast<const UCHAR *>(descriptor->Dacl + 1);
    for (USHORT i = 0; i < descriptor->Dacl->AceCount; ++i) {
      const ACCESS_ALLOWED_ACE *ace = reinterpret_cast<const ACCESS_ALLOWED_ACE *>(cursor);
      security.Dacl.push_back(AceRecord{ace->Header.AceType, ace->Header.AceFlags, MapGenericFileRights(ace->Mask),
                                        SidText(reinterpret_cast<const SID *>(&ace->SidStart))});
      cursor += ace->Header.AceSize;
    }
  }
  record->Security = security;
  return STATUS_SUCCESS;
}
