//
//  Integrity labels of named mutexes. A test gives a mutex name a label (Machine::objectLabels);
//  the handles that CreateMutexW hands out for that name are noted, and a label query of
//  GetSecurityInfo on them answers that label, as Windows would for an object made by a
//  program of that integrity. Every other name, handle and query goes to the system.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"

#include <aclapi.h>

#include <cstring>
#include <map>
#include <mutex>

namespace testbed {

void ForgetLabelledHandle(HANDLE handle);

namespace {

std::mutex g_labelledLock;
// Handle -> object name, for the names that carry a simulated label.
std::map<HANDLE, std::wstring> g_labelled;

HANDLE WINAPI TestbedCreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name)
{
    static auto real = RealFunction<decltype(&::CreateMutexW)>(L"kernel32.dll", "CreateMutexW");
    HANDLE mutex = real(security, initialOwner, name);
    const DWORD error = GetLastError();
    Machine* machine = Machine::Current();
    if (mutex && name && machine) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (machine->objectLabels.count(name)) {
            std::lock_guard<std::mutex> noted(g_labelledLock);
            g_labelled[mutex] = name;
        }
    }
    // The caller tells a new mutex from an existing one by the last error.
    SetLastError(error);
    return mutex;
}

// A self-relative security descriptor with only a SACL: one mandatory label entry of the
// level, no-write-up, or none when the level is 0. Allocated with LocalAlloc as the system's.
PSECURITY_DESCRIPTOR LabelDescriptor(DWORD level, PACL* sacl)
{
    const DWORD headerSize = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
    const DWORD aceSize = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + 12;
    const DWORD aclSize = sizeof(ACL) + aceSize;
    auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, headerSize + aclSize));
    if (!block)
        return nullptr;
    auto* descriptor = reinterpret_cast<SECURITY_DESCRIPTOR_RELATIVE*>(block);
    descriptor->Revision = SECURITY_DESCRIPTOR_REVISION;
    descriptor->Control = SE_SELF_RELATIVE;
    *sacl = nullptr;
    if (level == 0)
        return block;
    descriptor->Control |= SE_SACL_PRESENT;
    descriptor->Sacl = headerSize;
    auto* acl = reinterpret_cast<ACL*>(block + headerSize);
    acl->AclRevision = ACL_REVISION;
    acl->AclSize = WORD(aclSize);
    acl->AceCount = 1;
    BYTE* ace = block + headerSize + sizeof(ACL);
    auto* header = reinterpret_cast<ACE_HEADER*>(ace);
    header->AceType = SYSTEM_MANDATORY_LABEL_ACE_TYPE;
    header->AceSize = WORD(aceSize);
    const ACCESS_MASK noWriteUp = SYSTEM_MANDATORY_LABEL_NO_WRITE_UP;
    std::memcpy(ace + sizeof(ACE_HEADER), &noWriteUp, sizeof noWriteUp);
    const BYTE sid[] = {1, 1, 0, 0, 0, 0, 0, 16, BYTE(level), BYTE(level >> 8), BYTE(level >> 16), BYTE(level >> 24)};
    std::memcpy(ace + sizeof(ACE_HEADER) + sizeof(ACCESS_MASK), sid, sizeof sid);
    *sacl = acl;
    return block;
}

DWORD WINAPI TestbedGetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID* owner,
                                    PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    static auto real = RealFunction<decltype(&::GetSecurityInfo)>(L"advapi32.dll", "GetSecurityInfo");
    Machine* machine = Machine::Current();
    if (machine && type == SE_KERNEL_OBJECT && information == LABEL_SECURITY_INFORMATION) {
        std::wstring name;
        {
            std::lock_guard<std::mutex> noted(g_labelledLock);
            auto found = g_labelled.find(handle);
            if (found != g_labelled.end())
                name = found->second;
        }
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        auto label = name.empty() ? machine->objectLabels.end() : machine->objectLabels.find(name);
        if (label != machine->objectLabels.end()) {
            if (!sacl || !descriptor)
                return ERROR_INVALID_PARAMETER;
            PSECURITY_DESCRIPTOR block = LabelDescriptor(label->second, sacl);
            if (!block)
                return ERROR_NOT_ENOUGH_MEMORY;
            *descriptor = block;
            return ERROR_SUCCESS;
        }
    }
    return real(handle, type, information, owner, group, dacl, sacl, descriptor);
}

}  // namespace

void ForgetLabelledHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> noted(g_labelledLock);
    g_labelled.erase(handle);
}

}  // namespace testbed

TESTBED_INTERPOSE(CreateMutexW, 12, testbed::TestbedCreateMutexW)
TESTBED_INTERPOSE(GetSecurityInfo, 32, testbed::TestbedGetSecurityInfo)
