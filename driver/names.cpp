//
//  Object names: name buffers from the lookaside list, the name query with a larger buffer
//  when the name does not fit, and counted-string copies for device extensions.
//
#include "driver/QEVRINd.h"

PUNICODE_STRING NameOf(PFILTER_NAME_BUFFER NameBuffer) { return &NameBuffer->Info->Name; }

PFILTER_NAME_BUFFER AllocateNameBuffer() {
  PFILTER_NAME_BUFFER nameBuffer = (PFILTER_NAME_BUFFER)ExAllocateFromPagedLookasideList(&gNameBufferList);
  if (nameBuffer == NULL) return NULL;
  nameBuffer->LargeBuffer = NULL;
  nameBuffer->LargeSize = 0;
  nameBuffer->Info = &nameBuffer->Inline.Header;
  RtlZeroMemory(&nameBuffer->Inline, sizeof(nameBuffer->Inline));
  return nameBuffer;
}

static VOID ReleaseLargeBuffer(PFILTER_NAME_BUFFER NameBuffer) {
  if (NameBuffer->LargeBuffer != NULL) {
    ExFreePoolWithTag(NameBuffer->LargeBuffer, TAG_LARGE_NAME);
    NameBuffer->LargeBuffer = NULL;
    NameBuffer->LargeSize = 0;
  }
  NameBuffer->Info = &NameBuffer->Inline.Header;
}

//
//  "[-=Error 0x<status in hex> Getting Name=-]" in the buffer's own room.
//
static VOID SetErrorName(PFILTER_NAME_BUFFER NameBuffer, NTSTATUS Status) {
  static const char prefix[] = "[-=Error 0x";
  static const char suffix[] = " Getting Name=-]";
  ReleaseLargeBuffer(NameBuffer);
  PWSTR text = (PWSTR)(&NameBuffer->Inline.Header + 1);
  ULONG length = 0;
  for (ULONG i = 0; prefix[i] != 0; ++i) text[length++] = (WCHAR)prefix[i];
  ULONG value = (ULONG)Status;
  WCHAR digits[8];
  ULONG count = 0;
  do {
    ULONG digit = value & 0xF;
    digits[count++] = (WCHAR)(digit < 10 ? '0' + digit : 'a' + digit - 10);
    value >>= 4;
  } while (value != 0);
  while (count > 0) text[length++] = digits[--count];
  for (ULONG i = 0; suffix[i] != 0; ++i) text[length++] = (WCHAR)suffix[i];
  text[length] = 0;
  NameBuffer->Inline.Header.Name.Buffer = text;
  NameBuffer->Inline.Header.Name.Length = (USHORT)(length * sizeof(WCHAR));
  NameBuffer->Inline.Header.Name.MaximumLength = (USHORT)((length + 1) * sizeof(WCHAR));
}

//
//  Queries the object's name into the buffer; a name that does not fit goes into paged pool
//  of the size the query asks for, capped at 65,520 bytes. PASSIVE_LEVEL.
//
VOID QueryObjectName(PVOID Object, PFILTER_NAME_BUFFER NameBuffer) {
  ReleaseLargeBuffer(NameBuffer);
  ULONG returned = 0;
  NTSTATUS status = ObQueryNameString(Object, NameBuffer->Info, sizeof(NameBuffer->Inline), &returned);
  if (status == STATUS_INFO_LENGTH_MISMATCH) {
    ULONG size = returned > LARGE_NAME_LIMIT ? LARGE_NAME_LIMIT : returned;
    PVOID large = ExAllocatePoolWithTag(PagedPool, size, TAG_LARGE_NAME);
    if (large != NULL) {
      NameBuffer->LargeBuffer = large;
      NameBuffer->LargeSize = size;
      NameBuffer->Info = (POBJECT_NAME_INFORMATION)large;
      status = ObQueryNameString(Object, NameBuffer->Info, size, &returned);
    }
  }
  if (!NT_SUCCESS(status)) SetErrorName(NameBuffer, status);
}

PFILTER_NAME_BUFFER GetObjectName(PVOID Object) {
  PFILTER_NAME_BUFFER nameBuffer = AllocateNameBuffer();
  if (nameBuffer != NULL) QueryObjectName(Object, nameBuffer);
  return nameBuffer;
}

VOID FreeObjectName(PFILTER_NAME_BUFFER NameBuffer) {
  ReleaseLargeBuffer(NameBuffer);
  ExFreeToPagedLookasideList(&gNameBufferList, NameBuffer);
}

NTSTATUS CopyUnicodeString(PUNICODE_STRING Destination, PCUNICODE_STRING Source, ULONG Tag) {
  USHORT length = Source->Length;
  PWSTR buffer = (PWSTR)ExAllocatePoolWithTag(FilterPoolType(), (SIZE_T)length + sizeof(WCHAR), Tag);
  if (buffer == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  if (length != 0) RtlCopyMemory(buffer, Source->Buffer, length);
  buffer[length / sizeof(WCHAR)] = 0;
  Destination->Buffer = buffer;
  Destination->Length = length;
  Destination->MaximumLength = (USHORT)(length + sizeof(WCHAR));
  return STATUS_SUCCESS;
}

VOID FreeUnicodeString(PUNICODE_STRING String, ULONG Tag) {
  if (String->Buffer != NULL) ExFreePoolWithTag(String->Buffer, Tag);
  String->Buffer = NULL;
  String->Length = 0;
  String->MaximumLength = 0;
}

//
//  A copy in upper case, made where pageable code may run (PASSIVE_LEVEL), so that names can
//  later be compared under a lock with IsSameName alone.
//
NTSTATUS CopyUpcaseUnicodeString(PUNICODE_STRING Destination, PCUNICODE_STRING Source, ULONG Tag) {
  USHORT length = Source->Length;
  PWSTR buffer = (PWSTR)ExAllocatePoolWithTag(FilterPoolType(), (SIZE_T)length + sizeof(WCHAR), Tag);
  if (buffer == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  UNICODE_STRING upcased;
  upcased.Buffer = buffer;
  upcased.Length = 0;
  upcased.MaximumLength = (USHORT)(length + sizeof(WCHAR));
  NTSTATUS status = RtlUpcaseUnicodeString(&upcased, Source, FALSE);
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(buffer, Tag);
    return status;
  }
  buffer[length / sizeof(WCHAR)] = 0;
  *Destination = upcased;
  Destination->Length = length;
  return STATUS_SUCCESS;
}

//
//  Exact comparison of two names already in upper case: plain code that never pages, safe at
//  any IRQL and under any lock.
//
BOOLEAN IsSameName(PCUNICODE_STRING Name1, PCUNICODE_STRING Name2) {
  if (Name1->Length != Name2->Length) return FALSE;
  ULONG count = Name1->Length / sizeof(WCHAR);
  for (ULONG index = 0; index < count; ++index) {
    if (Name1->Buffer[index] != Name2->Buffer[index]) return FALSE;
  }
  return TRUE;
}
