#include "core/system/FolderTree.h"
#include "core/system/ProductAccessList.h"
#include "core/system/RegistryAccess.h"

#include "acl_test_support.h"
#include "registry_call_recorder.h"
#include "classlib/ScopedLocalMemory.h"
#include "classlib/ScopedRegKey.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace AclTestSupport;

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
    ASSERT_EQ(RegCreateKeyWithDacl(item, 0), ERROR_SUCCESS);
    const std::vector<AceView> aces = KeyAces(item, 0);
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
    ASSERT_EQ(RegCreateKeyWithDacl(item, 0), ERROR_SUCCESS);
    EXPECT_EQ(Find(KeyAces(item, 0), L"S-1-5-4"), nullptr);
}

// A user who does not own the key holds no WRITE_DAC on it: the key is created or opened for
// reading alone, and only a key this call has just made is opened again to set its list.
TEST_F(ProductSecurityTest, KeyIsOpenedForReadingAndOnlyANewKeyForItsList)
{
    const CString item = CString(kTestKey) + L"\\Item";
    for (bool existed : {false, true}) {
        registrytest::KeyRequestRecording recording;
        ASSERT_EQ(RegCreateKeyWithDacl(item, 0), ERROR_SUCCESS);
        const std::vector<registrytest::KeyRequest>& requests = recording.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests[0].kind, registrytest::KeyRequest::Create);
        EXPECT_EQ(requests[0].access, REGSAM(KEY_READ)) << "existed " << existed;
        EXPECT_EQ(requests[0].disposition, DWORD(existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY));
        size_t daclOpens = 0;
        for (const registrytest::KeyRequest& request : requests) {
            if (request.access & (WRITE_DAC | WRITE_OWNER)) {
                ++daclOpens;
                EXPECT_EQ(request.kind, registrytest::KeyRequest::Open);
                EXPECT_EQ(request.access, REGSAM(WRITE_DAC));
            }
        }
        EXPECT_EQ(daclOpens, existed ? 0u : 1u) << "existed " << existed;
    }
    ExpectProductList(KeyAces(item, 0));
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
    EXPECT_EQ(RegReadValue(kTestKey, 0, L"bin", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{1, 2, 3}));

    out = {7};
    EXPECT_EQ(RegReadValue(kTestKey, 0, L"dword", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{7}));
    EXPECT_EQ(RegReadValue(kTestKey, 0, L"empty", out), ERROR_SUCCESS);
    EXPECT_EQ(out, (std::vector<BYTE>{7}));
    EXPECT_EQ(RegReadValue(kTestKey, 0, L"missing", out), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegReadValue(L"SOFTWARE\\QevrinStoreNoSuchKey", 0, L"bin", out), ERROR_FILE_NOT_FOUND);
}

