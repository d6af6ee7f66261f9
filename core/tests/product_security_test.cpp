#include "core/system/FolderTree.h"
#include "core/system/ProductAccessList.h"
#include "core/system/RegistryAccess.h"

#include "classlib/ScopedLocalMemory.h"
#include "classlib/ScopedRegKey.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct AceView {
    std::wstring sid;
    BYTE type;
    BYTE flags;
    DWORD mask;
};

std::wstring SidText(PSID sid)
{
    ScopedLocalMemory<wchar_t> text;
    if (!ConvertSidToStringSidW(sid, text.Receive())) {
        return L"?";
    }
    return text.Get();
}

// The explicit (not inherited) entries of a DACL.
std::vector<AceView> ExplicitAces(PACL dacl)
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

const AceView* Find(const std::vector<AceView>& aces, const wchar_t* sid)
{
    for (const AceView& ace : aces) {
        if (ace.sid == sid) {
            return &ace;
        }
    }
    return nullptr;
}

// Each entry of the product list, as it must stand on the object.
void ExpectProductList(const std::vector<AceView>& aces)
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

std::vector<AceView> FolderAces(const CString& path)
{
    PACL dacl = nullptr;
    ScopedLocalMemory<void> descriptor;
    DWORD error = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                        nullptr, descriptor.Receive());
    EXPECT_EQ(error, ERROR_SUCCESS);
    return ExplicitAces(dacl);
}

std::vector<AceView> KeyAces(const wchar_t* subKey)
{
    ScopedRegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, READ_CONTROL, key.Receive()), ERROR_SUCCESS);
    PACL dacl = nullptr;
    ScopedLocalMemory<void> descriptor;
    DWORD error = GetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, descriptor.Receive());
    EXPECT_EQ(error, ERROR_SUCCESS);
    return ExplicitAces(dacl);
}

// Whether this file system keeps the DACL that is set on a folder. Wine keeps none: it maps a
// descriptor onto the Unix mode bits and builds a new one from them when asked.
bool FileSystemKeepsDacls(const CString& scratch)
{
    CreateDirectoryW(scratch, nullptr);
    ProductAccessList list;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(list.Attributes()->lpSecurityDescriptor, &present, &dacl, &defaulted);
    SetNamedSecurityInfoW(const_cast<wchar_t*>(scratch.GetString()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, dacl, nullptr);
    PACL readBack = nullptr;
    ScopedLocalMemory<void> descriptor;
    GetNamedSecurityInfoW(scratch, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &readBack, nullptr,
                          descriptor.Receive());
    const bool kept = Find(ExplicitAces(readBack), L"S-1-5-4") != nullptr;
    RemoveDirectoryW(scratch);
    return kept;
}

class ProductSecurityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        base_ = CString(temp) + L"qevrin-security-" + CString(std::to_wstring(GetCurrentProcessId()).c_str());
        RemoveTree();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
    }
    void TearDown() override
    {
        RemoveTree();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
    }
    void RemoveTree()
    {
        RemoveDirectoryW(base_ + L"\\probe");
        RemoveDirectoryW(base_ + L"\\A\\B");
        RemoveDirectoryW(base_ + L"\\A");
        RemoveDirectoryW(base_);
    }
    static bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

    static constexpr const wchar_t* kTestKey = L"SOFTWARE\\QevrinStoreSecurityTest";
    CString base_;
};

}  // namespace

TEST_F(ProductSecurityTest, ListBuildsFromWellKnownNames)
{
    ProductAccessList list;
    ASSERT_TRUE(list.IsValid()) << list.Error();
    ASSERT_NE(list.Attributes(), nullptr);
    EXPECT_EQ(list.Attributes()->bInheritHandle, FALSE);
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(list.Attributes()->lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ExpectProductList(ExplicitAces(dacl));
}

TEST_F(ProductSecurityTest, FolderCarriesProductListAndParentsDefault)
{
    const CString leaf = base_ + L"\\A\\B";
    EXPECT_TRUE(BuildFolderSecurity(leaf));
    ASSERT_TRUE(Exists(leaf));
    if (!FileSystemKeepsDacls(base_ + L"\\probe")) {
        GTEST_SKIP() << "this file system keeps no folder DACLs";
    }
    ExpectProductList(FolderAces(leaf));
    EXPECT_EQ(Find(FolderAces(base_ + L"\\A"), L"S-1-5-4"), nullptr);
}

TEST_F(ProductSecurityTest, TrailingBackslashGivesEveryFolderDefaultSecurity)
{
    ProductAccessList list;
    const CString leaf = base_ + L"\\A\\B";
    EXPECT_TRUE(CreateFolderTree(leaf + L"\\\\", list.Attributes()));
    ASSERT_TRUE(Exists(leaf));
    if (!FileSystemKeepsDacls(base_ + L"\\probe")) {
        GTEST_SKIP() << "this file system keeps no folder DACLs";
    }
    EXPECT_EQ(Find(FolderAces(leaf), L"S-1-5-4"), nullptr);
}

TEST_F(ProductSecurityTest, ExistingFoldersAreLeftAlone)
{
    ASSERT_TRUE(CreateFolderTree(base_ + L"\\A\\B", nullptr));
    EXPECT_TRUE(BuildFolderSecurity(base_ + L"\\A\\B"));
    EXPECT_EQ(Find(FolderAces(base_ + L"\\A\\B"), L"S-1-5-4"), nullptr);
}

TEST_F(ProductSecurityTest, FolderOnMissingDriveFails)
{
    EXPECT_FALSE(CreateFolderTree(L"Q:\\qevrin-no-such-drive\\x", nullptr));
}

TEST(FolderTree, TrimsTrailingBackslashes)
{
    EXPECT_EQ(TrimTrailingBackslashes(L"C:\\A\\\\"), CString(L"C:\\A"));
    EXPECT_EQ(TrimTrailingBackslashes(L"C:\\A"), CString(L"C:\\A"));
    EXPECT_EQ(TrimTrailingBackslashes(L"\\\\"), CString());
}

TEST_F(ProductSecurityTest, KeyGivesInteractiveNoWriteDacOrOwner)
{
    const CString item = CString(kTestKey) + L"\\Item";
    ASSERT_EQ(RegCreateKeyWithDacl(item), ERROR_SUCCESS);
    const std::vector<AceView> aces = KeyAces(item);
    ExpectProductList(aces);
    const AceView* interactive = Find(aces, L"S-1-5-4");
    ASSERT_NE(interactive, nullptr);
    EXPECT_EQ(interactive->mask & (WRITE_DAC | WRITE_OWNER), 0u);
}

TEST_F(ProductSecurityTest, ExistingKeyKeepsItsAccessList)
{
    const CString item = CString(kTestKey) + L"\\Item";
    ScopedRegKey created;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, item, 0, nullptr, 0, KEY_READ, nullptr, created.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyWithDacl(item), ERROR_SUCCESS);
    EXPECT_EQ(Find(KeyAces(item), L"S-1-5-4"), nullptr);
}

TEST_F(ProductSecurityTest, ReadsOnlyBinaryValues)
{
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    const BYTE bytes[3] = {1, 2, 3};
    DWORD number = 9;
    ASSERT_EQ(RegSetValueExW(key, L"bin", 0, REG_BINARY, bytes, 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"dword", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

    std::vector<BYTE> out;
    EXPECT_EQ(RegReadValue(kTestKey, L"bin", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{1, 2, 3}));

    out = {7};
    EXPECT_EQ(RegReadValue(kTestKey, L"dword", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{7}));
    EXPECT_EQ(RegReadValue(kTestKey, L"empty", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{7}));
    EXPECT_EQ(RegReadValue(kTestKey, L"missing", out), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegReadValue(L"SOFTWARE\\QevrinStoreNoSuchKey", L"bin", out), ERROR_FILE_NOT_FOUND);
}

