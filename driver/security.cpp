//
//  The control device's access list: SYSTEM and Administrators only, so that no other user
//  can open the door that exempts processes and replaces the rule table.
//
#include "driver/QEVRINd.h"

//
//  A SID with room for the two sub-authorities of the built-in groups.
//
typedef struct _FILTER_SID {
  UCHAR Revision;
  UCHAR SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  ULONG SubAuthority[2];
} FILTER_SID;

//
//  The access list holds two allowed entries; the buffer is ULONG-aligned as an ACL must be.
//
#define CONTROL_ACL_SIZE (sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + sizeof(FILTER_SID)))

//
//  Sets a protected access list on the device that grants GENERIC_ALL to SYSTEM (S-1-5-18)
//  and to Administrators (S-1-5-32-544) and nothing to anybody else. Built here rather than
//  with the secure-device helper library, which the toolchain lacks. PASSIVE_LEVEL.
//
NTSTATUS SecureControlDevice(PDEVICE_OBJECT DeviceObject) {
  FILTER_SID localSystem = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID, 0}};
  FILTER_SID administrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                               {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
  ULONG aclBuffer[(CONTROL_ACL_SIZE + sizeof(ULONG) - 1) / sizeof(ULONG)];
  PACL acl = (PACL)aclBuffer;
  SECURITY_DESCRIPTOR descriptor;

  NTSTATUS status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) status = RtlCreateAcl(acl, sizeof(aclBuffer), ACL_REVISION);
  if (NT_SUCCESS(status)) status = RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, (PSID)&localSystem);
  if (NT_SUCCESS(status)) status = RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, (PSID)&administrators);
  if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (!NT_SUCCESS(status)) return status;
  //
  //  Protected: nothing inherited from the directory is merged in.
  //
  descriptor.Control |= SE_DACL_PROTECTED;

  HANDLE handle;
  status = ObOpenObjectByPointer(DeviceObject, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}
