#pragma once
//
//  Reading a real object's access list back for the tests: the explicit entries of the DACL of
//  a folder or a registry key, and the product access list they must match.
//
#include "classlib/CString.h"
#include "classlib/ScopedLocalMemory.h"
#include "classlib/ScopedRegKey.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace AclTestSupport {

struct AceView {
    std::wstring sid;
    BYTE type;
    BYTE flags;
    DWORD mask;
};

inline std::wstring SidText(PSID sid)
{
    ScopedLocalMemory<wchar_t> text;
    if (!ConvertSidToStringSidW(sid, text.Receive())) {
        return L"?";
    }
    return text.Get();
}

// The explicit (not inherited) entries of a DACL.
inline std::vector<AceView> ExplicitAces(PACL dacl)
{
    std::vector<AceView> aces;
    if (dacl == nullptr) {
        return aces;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) {
            continue;
        }
        const ACE_HEADER* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceFlags & INHERITED_ACE) {
            continue;
        }
        const ACCESS_ALLOWED_ACE* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        aces.push_back({SidText(const_cast<DWORD*>(&ace->SidStart)), header->AceType, header->AceFlags, ace->Mask});
    }
    return aces;
}

inline const AceView* Find(const std::vector<AceView>& aces, const wchar_t* sid)
{
    for (const AceView& ace : aces) {
        if (ace.sid == sid) {
            return &ace;
        }
    }
    return nullptr;
}

// Each entry of the product list, as it must stand on the object.
inline void ExpectProductList(const std::vector<AceView>& aces)
{
    struct Expected {
        const wchar_t* sid;
        DWORD mask;
        BYTE flags;
    };
    const Expected expected[] = {
        {L"S-1-3-0", 0x1F01FF, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE},
        {L"S-1-5-18", 0x1F01FF, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {L"S-1-5-32-544", 0x1F01FF, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {L"S-1-5-4", 0x1301FF, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
    };
    EXPECT_EQ(aces.size(), 4u);
    for (const Expected& e : expected) {
        const AceView* ace = Find(aces, e.sid);
        ASSERT_NE(ace, nullptr) << std::string(e.sid, e.sid + wcslen(e.sid));
        EXPECT_EQ(ace->type, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->mask, e.mask);
        EXPECT_EQ(ace->flags, e.flags);
    }
}

inline std::vector<AceView> FolderAces(const CString& path)
{
    PACL dacl = nullptr;
    ScopedLocalMemory<void> descriptor;
    DWORD error = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                        nullptr, descriptor.Receive());
    EXPECT_EQ(error, ERROR_SUCCESS);
    return ExplicitAces(dacl);
}

inline std::vector<AceView> KeyAces(const wchar_t* subKey, REGSAM view)
{
    ScopedRegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, READ_CONTROL | view, key.Receive()), ERROR_SUCCESS);
    PACL dacl = nullptr;
    ScopedLocalMemory<void> descriptor;
    DWORD error = GetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, descriptor.Receive());
    EXPECT_EQ(error, ERROR_SUCCESS);
    return ExplicitAces(dacl);
}

}  // namespace AclTestSupport
