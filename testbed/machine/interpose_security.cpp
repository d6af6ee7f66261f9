//
//  Object labels on a simulated PC that reports Windows 5.x, which has no integrity levels: a
//  label query of GetSecurityInfo fails there, and so does the conversion of a security
//  descriptor string that holds a mandatory label entry ("ML" is not an entry type of 5.x).
//  Everywhere else both calls go to the system, whose objects keep the labels they are given.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

namespace testbed {
namespace {

bool WithoutIntegrityLevels()
{
    Machine* machine = Machine::Current();
    return machine && !machine->HasIntegrityLevels();
}

DWORD WINAPI TestbedGetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID* owner,
                                    PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    static auto real = RealFunction<decltype(&::GetSecurityInfo)>(L"advapi32.dll", "GetSecurityInfo");
    if ((information & LABEL_SECURITY_INFORMATION) && WithoutIntegrityLevels())
        return ERROR_INVALID_PARAMETER;
    return real(handle, type, information, owner, group, dacl, sacl, descriptor);
}

BOOL WINAPI TestbedConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                                        PSECURITY_DESCRIPTOR* descriptor, PULONG size)
{
    static auto real = RealFunction<decltype(&::ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
        L"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW");
    if (text && std::wcsstr(text, L"(ML;") && WithoutIntegrityLevels()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return real(text, revision, descriptor, size);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(GetSecurityInfo, 32, testbed::TestbedGetSecurityInfo)
TESTBED_INTERPOSE(ConvertStringSecurityDescriptorToSecurityDescriptorW, 16,
                  testbed::TestbedConvertStringSecurityDescriptorToSecurityDescriptorW)
