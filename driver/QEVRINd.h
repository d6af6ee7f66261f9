//
//  Private declarations of the QEVRINd file-system filter: the device extension, the policy
//  lists, the global state and the routines each file of the driver provides.
//
#pragma once

#include <ntifs.h>

//
//  mingw-w64's wdm.h maps this routine to a static helper library that it does not ship;
//  ntoskrnl exports the routine itself.
//
#if defined(RtlIsNtDdiVersionAvailable)
#undef RtlIsNtDdiVersionAvailable
extern "C" NTSYSAPI BOOLEAN NTAPI RtlIsNtDdiVersionAvailable(ULONG Version);
#endif

//
//  Wide literals: WCHAR is wchar_t in the Windows builds and char16_t on the Linux host, where
//  the driver runs on the kernel stand-in.
//
#if defined(_WIN32)
#define FILTER_TEXT(s) L##s
#else
#define FILTER_TEXT(s) u##s
#endif

#define FILTER_POOL_TAG(a, b, c, d) \
  ((ULONG)(UCHAR)(a) | ((ULONG)(UCHAR)(b) << 8) | ((ULONG)(UCHAR)(c) << 16) | ((ULONG)(UCHAR)(d) << 24))

//
//  One tag per kind of allocation.
//
#define TAG_VOLUME_RULE FILTER_POOL_TAG('Q', 'v', 'R', 'u')
#define TAG_RULE_NAME FILTER_POOL_TAG('Q', 'v', 'R', 'n')
#define TAG_EXEMPT_PROCESS FILTER_POOL_TAG('Q', 'v', 'E', 'x')
#define TAG_PENDING_VOLUME FILTER_POOL_TAG('Q', 'v', 'P', 'v')
#define TAG_WAIT_TIMER FILTER_POOL_TAG('Q', 'v', 'T', 'm')
#define TAG_NAME_BUFFER FILTER_POOL_TAG('Q', 'v', 'N', 'b')
#define TAG_LARGE_NAME FILTER_POOL_TAG('Q', 'v', 'N', 'l')
#define TAG_VOLUME_NAME FILTER_POOL_TAG('Q', 'v', 'V', 'n')
#define TAG_DEVICE_LIST FILTER_POOL_TAG('Q', 'v', 'D', 'l')
#define TAG_MOUNT_CONTEXT FILTER_POOL_TAG('Q', 'v', 'M', 'c')
#define TAG_MATCH_NAME FILTER_POOL_TAG('Q', 'v', 'M', 'n')
#define TAG_REMOVE_LOCK FILTER_POOL_TAG('Q', 'v', 'R', 'l')

//
//  Control codes of the control device.
//
#define FILTER_DEVICE_TYPE 0x22
#define IOCTL_FILTER_GET_VERSION CTL_CODE(FILTER_DEVICE_TYPE, 0x800, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_FILTER_SET_VOLUME_RULES CTL_CODE(FILTER_DEVICE_TYPE, 0x801, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_FILTER_ADD_EXEMPT_PROCESS CTL_CODE(FILTER_DEVICE_TYPE, 0x802, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_FILTER_REMOVE_EXEMPT_PROCESS CTL_CODE(FILTER_DEVICE_TYPE, 0x803, METHOD_BUFFERED, FILE_READ_ACCESS)

#define FILTER_INTERFACE_VERSION_SIZE 8

//
//  The largest rule table the control device takes: 2 MiB, room for more than ten thousand
//  volumes with names of a hundred characters. Anything larger is refused as malformed, so no
//  caller can make the driver allocate without bound.
//
#define FILTER_MAX_RULE_TABLE_SIZE (2u * 1024u * 1024u)

//
//  VolumeAccessState values of the rule table.
//
#define VOLUME_ACCESS_UNKNOWN (-1)
#define VOLUME_ACCESS_ALLOW 0
#define VOLUME_ACCESS_BLOCK 1
#define VOLUME_ACCESS_READ_ONLY 2
#define VOLUME_ACCESS_READ_ONLY_ALT 3

//
//  Control device open state.
//
#define CONTROL_DEVICE_OPEN 0
#define CONTROL_DEVICE_FREE 1
#define CONTROL_DEVICE_CLOSING 2

//
//  The System process and the idle process have ids up to this one.
//
#define SYSTEM_PROCESS_ID_LIMIT 8

#define RULE_WAIT_ATTEMPTS 100
#define RULE_WAIT_INTERVAL (-1000000LL)   /* 100 ms, relative */
#define ATTACH_ATTEMPTS 8
#define ATTACH_RETRY_INTERVAL (-5000000LL) /* 500 ms, relative */
#define NAME_BUFFER_SIZE 288
#define LARGE_NAME_LIMIT 65520
#define ENUMERATION_ATTEMPTS 16
#define ENUMERATION_SPARE_ENTRIES 8

#define RULE_CACHE_FOUND 1  // a rule names the volume
#define RULE_CACHE_TABLE 2  // the table names at least one volume
#define RULE_CACHE_MODE 4   // the table came with a non-zero mode word

typedef struct _FILTER_DEVICE_EXTENSION {
  PDEVICE_OBJECT DeviceObject;
  PDEVICE_OBJECT AttachedToDeviceObject;
  PDEVICE_OBJECT StorageDeviceObject;
  UNICODE_STRING VolumeName;
  //
  //  The volume name in upper case, for comparisons under the rule and pending-list locks,
  //  where no pageable routine may run.
  //
  UNICODE_STRING MatchName;
  //
  //  Requests inside the policy gate; a detach waits until they have left.
  //
  IO_REMOVE_LOCK RemoveLock;
  LONG CachedState;
  //
  //  What the rule table of one generation says about this volume, so that a request walks
  //  the table only once per table: the generation's low 29 bits, the flags RULE_CACHE_* and
  //  the rule's state, in one word that is written under VolumeRuleLock and read without it.
  //
  volatile LONG64 RuleCache;
} FILTER_DEVICE_EXTENSION, *PFILTER_DEVICE_EXTENSION;

typedef struct _VOLUME_RULE {
  LIST_ENTRY Links;
  UNICODE_STRING VolumeName;  // Buffer NUL-terminated, in its own allocation
  UNICODE_STRING MatchName;   // the same in upper case
  LONG State;
} VOLUME_RULE, *PVOLUME_RULE;

typedef struct _PENDING_VOLUME_ENTRY {
  LIST_ENTRY Links;
  UNICODE_STRING VolumeName;  // the volume's name in upper case
} PENDING_VOLUME_ENTRY, *PPENDING_VOLUME_ENTRY;

typedef struct _EXEMPT_PROCESS_ENTRY {
  LIST_ENTRY Links;
  HANDLE ProcessId;
} EXEMPT_PROCESS_ENTRY, *PEXEMPT_PROCESS_ENTRY;

//
//  A name buffer from the lookaside list: the name, room for a short one inside the entry and,
//  when it did not fit, a larger buffer from paged pool.
//
typedef struct _FILTER_NAME_BUFFER {
  PVOID LargeBuffer;
  ULONG LargeSize;
  POBJECT_NAME_INFORMATION Info;
  union {
    OBJECT_NAME_INFORMATION Header;
    UCHAR Bytes[NAME_BUFFER_SIZE - 2 * sizeof(PVOID) - sizeof(ULONG_PTR)];
  } Inline;
} FILTER_NAME_BUFFER, *PFILTER_NAME_BUFFER;

//
//  Routines that older systems lack, looked up at load; a missing one stays NULL.
//
typedef NTSTATUS (NTAPI *PFN_IO_ATTACH_DEVICE_TO_DEVICE_STACK_SAFE)(PDEVICE_OBJECT, PDEVICE_OBJECT,
                                                                    PDEVICE_OBJECT *);
typedef NTSTATUS (NTAPI *PFN_IO_ENUMERATE_DEVICE_OBJECT_LIST)(PDRIVER_OBJECT, PDEVICE_OBJECT *, ULONG, PULONG);
typedef PDEVICE_OBJECT (NTAPI *PFN_IO_GET_LOWER_DEVICE_OBJECT)(PDEVICE_OBJECT);
typedef PDEVICE_OBJECT (NTAPI *PFN_IO_GET_DEVICE_ATTACHMENT_BASE_REF)(PDEVICE_OBJECT);
typedef NTSTATUS (NTAPI *PFN_IO_GET_DISK_DEVICE_OBJECT)(PDEVICE_OBJECT, PDEVICE_OBJECT *);
typedef PDEVICE_OBJECT (NTAPI *PFN_IO_GET_ATTACHED_DEVICE_REFERENCE)(PDEVICE_OBJECT);
typedef NTSTATUS (NTAPI *PFN_RTL_GET_VERSION)(PRTL_OSVERSIONINFOW);
typedef NTSTATUS (NTAPI *PFN_PS_GET_PROCESS_EXIT_STATUS)(PEPROCESS);

typedef struct _FILTER_SYSTEM_ROUTINES {
  PFN_IO_ATTACH_DEVICE_TO_DEVICE_STACK_SAFE AttachDeviceToDeviceStackSafe;
  PFN_IO_ENUMERATE_DEVICE_OBJECT_LIST EnumerateDeviceObjectList;
  PFN_IO_GET_LOWER_DEVICE_OBJECT GetLowerDeviceObject;
  PFN_IO_GET_DEVICE_ATTACHMENT_BASE_REF GetDeviceAttachmentBaseRef;
  PFN_IO_GET_DISK_DEVICE_OBJECT GetDiskDeviceObject;
  PFN_IO_GET_ATTACHED_DEVICE_REFERENCE GetAttachedDeviceReference;
  PFN_RTL_GET_VERSION GetVersion;
  PFN_PS_GET_PROCESS_EXIT_STATUS GetProcessExitStatus;
} FILTER_SYSTEM_ROUTINES;

//
//  Global state (entry.cpp).
//
extern PDRIVER_OBJECT gFilterDriverObject;
extern PDEVICE_OBJECT gControlDeviceObject;
extern ULONG gOsMajorVersion;
extern ULONG gOsMinorVersion;
extern FILTER_SYSTEM_ROUTINES gSystemRoutines;
extern POOL_TYPE gFilterPoolType;
extern LONG gControlOpenState;
extern KSPIN_LOCK gControlOpenLock;
extern BOOLEAN gProcessNotifyRegistered;
extern LONG gFilterMode;
extern FAST_MUTEX gFilterModeLock;
extern FAST_MUTEX gVolumeRuleLock;
extern FAST_MUTEX gExemptProcessLock;
extern FAST_MUTEX gPendingVolumeLock;
extern FAST_MUTEX gAttachLock;
extern LIST_ENTRY gVolumeRuleList;
extern LONG gVolumeRuleMode;
extern volatile ULONG gVolumeRuleGeneration;
extern LIST_ENTRY gExemptProcessList;
extern LIST_ENTRY gPendingVolumeList;
extern PAGED_LOOKASIDE_LIST gNameBufferList;
extern FAST_IO_DISPATCH gFastIoDispatch;

//
//  entry.cpp
//
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
BOOLEAN IsWindowsAfter50();
POOL_TYPE FilterPoolType();

//
//  security.cpp
//
NTSTATUS SecureControlDevice(PDEVICE_OBJECT DeviceObject);

//
//  dispatch.cpp
//
NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchFileSystemControl(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchDefault(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS InitializeDispatchAndFastIo(PDRIVER_OBJECT DriverObject);

//
//  control.cpp
//
NTSTATUS ControlDeviceCreate(PIRP Irp);
NTSTATUS ControlDeviceClose(PIRP Irp);
NTSTATUS ControlDeviceInvalidRequest(PIRP Irp);
VOID ControlDeviceIoctl(PVOID Buffer, ULONG InputLength, ULONG OutputLength, ULONG IoControlCode,
                        PIO_STATUS_BLOCK IoStatus);
NTSTATUS ValidateVolumeRules(const UCHAR *Buffer, ULONG Length);

//
//  policy.cpp
//
NTSTATUS FilterDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp);
BOOLEAN FastIoPolicyAllows(PDEVICE_OBJECT DeviceObject);
NTSTATUS PassThrough(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS SetVolumeRules(const UCHAR *Buffer, ULONG Length);
VOID ClearVolumeRules();
VOID ClearPendingVolumes();
NTSTATUS AddExemptProcess(ULONG ProcessId);
NTSTATUS RemoveExemptProcess(ULONG ProcessId);
VOID NTAPI ProcessNotify(HANDLE ParentId, HANDLE ProcessId, BOOLEAN Create);
BOOLEAN IsWritingFsControl(ULONG FsControlCode);

//
//  attach.cpp
//
VOID NTAPI FsNotification(PDEVICE_OBJECT DeviceObject, BOOLEAN FsActive);
NTSTATUS MountVolume(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS LoadFileSystem(PDEVICE_OBJECT DeviceObject, PIRP Irp);
BOOLEAN IsFilterDevice(PDEVICE_OBJECT DeviceObject);
VOID CleanupDeviceExtension(PDEVICE_OBJECT DeviceObject);

//
//  names.cpp
//
PFILTER_NAME_BUFFER AllocateNameBuffer();
VOID QueryObjectName(PVOID Object, PFILTER_NAME_BUFFER NameBuffer);
PFILTER_NAME_BUFFER GetObjectName(PVOID Object);
VOID FreeObjectName(PFILTER_NAME_BUFFER NameBuffer);
PUNICODE_STRING NameOf(PFILTER_NAME_BUFFER NameBuffer);
NTSTATUS CopyUnicodeString(PUNICODE_STRING Destination, PCUNICODE_STRING Source, ULONG Tag);
NTSTATUS CopyUpcaseUnicodeString(PUNICODE_STRING Destination, PCUNICODE_STRING Source, ULONG Tag);
BOOLEAN IsSameName(PCUNICODE_STRING Name1, PCUNICODE_STRING Name2);
VOID FreeUnicodeString(PUNICODE_STRING String, ULONG Tag);

//
//  fastio.cpp
//
VOID InitializeFastIoDispatch(PFAST_IO_DISPATCH FastIo);
