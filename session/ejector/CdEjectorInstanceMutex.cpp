#include "session/ejector/CdEjectorInstanceMutex.h"

#include "classlib/ScopedLocalMemory.h"

#include <aclapi.h>
#include <cstddef>
#include <sddl.h>

namespace {

const DWORD kMediumIntegrityRid = 0x2000;
const DWORD kHighIntegrityRid = 0x3000;

// A mutex of the name, labelled high so that a later ejector can tell it from a stranger's.
// A process below high may not set a label above its own; it then makes an unlabelled one.
HANDLE CreateLabelledMutex(bool& existed)
{
    ScopedLocalMemory<void> descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;;NW;;;HI)", SDDL_REVISION_1,
                                                             descriptor.Receive(), nullptr)) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
        HANDLE mutex = CreateMutexW(&attributes, TRUE, CdEjectorInstanceMutex::kName);
        if (mutex != nullptr) {
            existed = GetLastError() == ERROR_ALREADY_EXISTS;
            return mutex;
        }
    }
    HANDLE mutex = CreateMutexW(nullptr, TRUE, CdEjectorInstanceMutex::kName);
    existed = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    return mutex;
}

}  // namespace

DWORD KernelObjectIntegrityLevel(HANDLE object)
{
    PACL sacl = nullptr;
    ScopedLocalMemory<void> descriptor;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl,
                        descriptor.Receive()) != ERROR_SUCCESS) {
        return 0;
    }
    if (sacl == nullptr) {
        return kMediumIntegrityRid;
    }
    for (DWORD index = 0; index < sacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(sacl, index, &entry)) {
            return 0;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
            continue;
        }
        // The label SID lies inside the entry: at least its fixed part and one sub-authority.
        const size_t sidOffset = offsetof(SYSTEM_MANDATORY_LABEL_ACE, SidStart);
        if (header->AceSize < sidOffset + 12) {
            return 0;
        }
        PSID label = &static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(entry)->SidStart;
        if (!IsValidSid(label) || GetLengthSid(label) > header->AceSize - sidOffset ||
            *GetSidSubAuthorityCount(label) == 0) {
            return 0;
        }
        return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
    }
    return kMediumIntegrityRid;
}

CdEjectorInstanceMutex::CdEjectorInstanceMutex()
{
    mutex_.Reset(CreateLabelledMutex(existed_));
    ownedAtCreation_ = mutex_.IsValid() && !existed_;
}

CdEjectorInstanceMutex::~CdEjectorInstanceMutex()
{
    Release();
    if (ownedAtCreation_) {
        ReleaseMutex(mutex_.Get());
    }
}

BOOL CdEjectorInstanceMutex::TakeInstance()
{
    if (locked_) {
        return FALSE;
    }
    // The name is taken by another kind of object (an event, a section), or by a mutex whose
    // access list keeps this program out: no ejector made either, so this one runs unlocked.
    if (!mutex_.IsValid()) {
        return TRUE;
    }
    const DWORD result = WaitForSingleObject(mutex_.Get(), kLockWait);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        locked_ = TRUE;
        return TRUE;
    }
    // Held by someone else: only an ejector started at high integrity keeps this one away.
    return existed_ && KernelObjectIntegrityLevel(mutex_.Get()) < kHighIntegrityRid;
}

void CdEjectorInstanceMutex::Release()
{
    if (locked_) {
        ReleaseMutex(mutex_.Get());
        locked_ = FALSE;
    }
}
