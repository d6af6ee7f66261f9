#include "session/ejector/CdEjectorInstanceMutex.h"

#include "classlib/ScopedLocalMemory.h"

#include <aclapi.h>
#include <cstddef>
#include <cstring>
#include <sddl.h>

namespace {

const DWORD kMediumIntegrityRid = 0x2000;
const DWORD kHighIntegrityRid = 0x3000;

// A mutex of the name, labelled high so that a later ejector can tell it from a stranger's.
// The label keeps every access from below away, waiting (SYNCHRONIZE) included: a program of
// the user that could wait on the lock would own it once this ejector lets go, and would then
// keep every later ejector of the session away. A process below high may not set a label above
// its own, and Windows 5.x has no labels; either makes an unlabelled mutex.
HANDLE CreateLabelledMutex(bool& existed)
{
    ScopedLocalMemory<void> descriptor;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;;NWNRNX;;;HI)", SDDL_REVISION_1,
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

enum class IntegrityLevels { Absent, Present, Unknown };

// Whether the system knows integrity levels, as this program's own token tells it. The version
// would not do: the user's compatibility layer (__COMPAT_LAYER in the environment the service
// copies from HKCU, or AppCompatFlags\Layers) makes GetVersionExW report Windows 5.x on any
// later system. Windows 5.x does not know the information class and fails the query with
// ERROR_INVALID_PARAMETER; from Windows 6.0 on every token has a level.
IntegrityLevels OwnTokenIntegrityLevels()
{
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return IntegrityLevels::Unknown;
    }
    union {
        TOKEN_MANDATORY_LABEL label;
        BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    } answer;
    DWORD length = 0;
    if (GetTokenInformation(token.Get(), TokenIntegrityLevel, &answer, sizeof answer, &length)) {
        return IntegrityLevels::Present;
    }
    return GetLastError() == ERROR_INVALID_PARAMETER ? IntegrityLevels::Absent : IntegrityLevels::Unknown;
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
        if (!IsValidSid(label) || GetLengthSid(label) > header->AceSize - sidOffset) {
            return 0;
        }
        // Only a mandatory label SID (S-1-16-level) names a level; another SID that merely ends
        // in 12288 says nothing about who made the object.
        static const SID_IDENTIFIER_AUTHORITY kLabelAuthority = SECURITY_MANDATORY_LABEL_AUTHORITY;
        if (*GetSidSubAuthorityCount(label) != 1 ||
            std::memcmp(GetSidIdentifierAuthority(label), &kLabelAuthority, sizeof kLabelAuthority) != 0) {
            return 0;
        }
        return *GetSidSubAuthority(label, 0);
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
    // Held by someone else. Without integrity levels (Windows 5.x) nobody can make a mutex above
    // anybody else, and no label can be read: a held mutex of the name is another ejector's.
    // With them, or where the token does not say, only an ejector started at high integrity
    // keeps this one away.
    if (!existed_ || OwnTokenIntegrityLevels() == IntegrityLevels::Absent) {
        return FALSE;
    }
    return KernelObjectIntegrityLevel(mutex_.Get()) < kHighIntegrityRid;
}

void CdEjectorInstanceMutex::Release()
{
    if (locked_) {
        ReleaseMutex(mutex_.Get());
        locked_ = FALSE;
    }
}
