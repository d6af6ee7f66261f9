#include "core/system/ProductAccessList.h"

#include <aclapi.h>

ProductAccessList::ProductAccessList()
{
    struct Entry {
        const wchar_t* trustee;
        DWORD access;
        DWORD inheritance;
    };
    static const Entry entries[] = {
        {L"CREATOR OWNER", kFullAccess,
         OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE},
        {L"SYSTEM", kFullAccess, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {L"Administrators", kFullAccess, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {L"INTERACTIVE", kInteractiveAccess, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
    };

    EXPLICIT_ACCESSW access[4] = {};
    for (size_t i = 0; i < 4; ++i) {
        BuildExplicitAccessWithNameW(&access[i], const_cast<LPWSTR>(entries[i].trustee), entries[i].access,
                                     SET_ACCESS, entries[i].inheritance);
    }
    error_ = SetEntriesInAclW(4, access, nullptr, dacl_.Receive());
    if (error_ != ERROR_SUCCESS) {
        return;
    }
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl_.Get(), FALSE)) {
        error_ = GetLastError();
        return;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}
