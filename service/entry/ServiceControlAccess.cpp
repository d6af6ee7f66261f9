#include "service/entry/ServiceControlAccess.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace Quelmar {

namespace {

// The service whose narrowing has not held yet, or none; it stays marked until a try holds.
std::atomic<LPCWSTR> pendingService{nullptr};
// Held by the one caller that tries; the others go on at once.
std::mutex retryLock;

class ScopedServiceHandle {
public:
    explicit ScopedServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScopedServiceHandle()
    {
        if (handle_ != nullptr) {
            CloseServiceHandle(handle_);
        }
    }
    ScopedServiceHandle(const ScopedServiceHandle&) = delete;
    ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
    SC_HANDLE Get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

struct Sid {
    BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    explicit Sid(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof(bytes);
        valid = CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
    }
    bool valid = false;
};

// A try that throws, as when memory runs out, is a try that did not hold. It must not end the
// thread that made it: the volume-event thread would end silently, and no later volume event
// would reach the service.
bool TryToRestrict(LPCWSTR serviceName)
{
    try {
        return RestrictUserDefinedControl(serviceName) != FALSE;
    } catch (...) {
        return false;
    }
}

}  // namespace

BOOL RestrictUserDefinedControl(SC_HANDLE service)
{
    DWORD needed = 0;
    QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) {
        return FALSE;
    }
    std::vector<BYTE> descriptor(needed);
    if (!QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) {
        return FALSE;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) {
        return FALSE;
    }
    Sid system(WinLocalSystemSid);
    Sid administrators(WinBuiltinAdministratorsSid);
    if (!system.valid || !administrators.valid) {
        return FALSE;
    }

    // The new list: every entry as it was, less the control right for anyone but the two,
    // who are sure to hold it.
    DWORD size = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
    if (present && dacl != nullptr) {
        size += dacl->AclSize;
    }
    std::vector<BYTE> buffer(size);
    PACL narrowed = reinterpret_cast<PACL>(buffer.data());
    if (!InitializeAcl(narrowed, size, ACL_REVISION)) {
        return FALSE;
    }
    bool systemHolds = false;
    bool administratorsHold = false;
    if (present && dacl != nullptr) {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACE_HEADER* header = nullptr;
            if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
                return FALSE;
            }
            if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
                if (!AddAce(narrowed, ACL_REVISION, MAXDWORD, header, header->AceSize)) {
                    return FALSE;
                }
                continue;
            }
            ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            PSID sid = &ace->SidStart;
            DWORD mask = ace->Mask;
            if (EqualSid(sid, system.bytes) || EqualSid(sid, administrators.bytes)) {
                mask |= SERVICE_USER_DEFINED_CONTROL;
                (EqualSid(sid, system.bytes) ? systemHolds : administratorsHold) = true;
            } else {
                mask &= ~static_cast<DWORD>(SERVICE_USER_DEFINED_CONTROL);
            }
            if (mask == 0) {
                continue;
            }
            if (!AddAccessAllowedAceEx(narrowed, ACL_REVISION, header->AceFlags, mask, sid)) {
                return FALSE;
            }
        }
    }
    if (!present || dacl == nullptr) {
        // No list gave everyone everything: the others keep the rights to query the service.
        Sid authenticated(WinAuthenticatedUserSid);
        const DWORD query = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                            SERVICE_INTERROGATE | READ_CONTROL;
        if (!authenticated.valid || !AddAccessAllowedAce(narrowed, ACL_REVISION, query, authenticated.bytes)) {
            return FALSE;
        }
    }
    if (!systemHolds && !AddAccessAllowedAce(narrowed, ACL_REVISION, SERVICE_ALL_ACCESS, system.bytes)) {
        return FALSE;
    }
    if (!administratorsHold && !AddAccessAllowedAce(narrowed, ACL_REVISION, SERVICE_ALL_ACCESS, administrators.bytes)) {
        return FALSE;
    }
    SECURITY_DESCRIPTOR updated;
    if (!InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&updated, TRUE, narrowed, FALSE)) {
        return FALSE;
    }
    return SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &updated);
}

BOOL RestrictUserDefinedControl(LPCWSTR serviceName)
{
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.Get() == nullptr) {
        return FALSE;
    }
    ScopedServiceHandle service(OpenServiceW(manager.Get(), serviceName, READ_CONTROL | WRITE_DAC));
    if (service.Get() == nullptr) {
        return FALSE;
    }
    return RestrictUserDefinedControl(service.Get());
}

void NarrowControlAccess(LPCWSTR serviceName)
{
    pendingService = TryToRestrict(serviceName) ? nullptr : serviceName;
}

void RetryControlAccess()
{
    if (pendingService.load() == nullptr) {
        return;
    }
    std::unique_lock<std::mutex> oneAtATime(retryLock, std::try_to_lock);
    if (!oneAtATime.owns_lock()) {
        return;
    }
    const LPCWSTR serviceName = pendingService.load();
    if (serviceName != nullptr && TryToRestrict(serviceName)) {
        pendingService = nullptr;
    }
}

}  // namespace Quelmar
