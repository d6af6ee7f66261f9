//
//  The Explorer CD burning policy at logoff: the value found is kept once in CDBurning.dat,
//  the policy follows the block flag, and Windows 2000 is left alone.
//
#include "classlib/CFile.h"
#include "classlib/ScopedRegKey.h"
#include "core/store/WholeFile.h"
#include "service/discs/CdBurningPolicy.h"
#include "service/discs/CdBurningStateFile.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class CdBurningPolicyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pc.SetWindowsVersion(6, 1);
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        folder = CString(temp) + L"qevrin-cdburning-test";
        CreateDirectoryW(folder, nullptr);
        statePath = CdBurningPolicy::StateFilePath(folder);
        Clean();
    }
    void TearDown() override
    {
        Clean();
        RemoveDirectoryW(folder);
    }

    void Clean()
    {
        DeleteFileW(statePath);
        DeleteFileW(PendingFilePath(statePath));
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS)
            RegDeleteValueW(key, CdBurningPolicy::kPolicyValue);
    }

    static void SetPolicy(DWORD type, const void* data, DWORD size)
    {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, CdBurningPolicy::kPolicyValue, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    static void SetPolicy(DWORD value) { SetPolicy(REG_DWORD, &value, sizeof value); }

    // The policy value as a number, -1 when it is missing or not a number.
    static long long Policy()
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        DWORD type = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, CdBurningPolicy::kPolicyValue, RRF_RT_ANY, &type,
                         &value, &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            return -1;
        return value;
    }

    bool StateFileExists() const { return GetFileAttributesW(statePath) != INVALID_FILE_ATTRIBUTES; }

    // The payload the state file deciphers to through the record file.
    std::vector<BYTE> StatePayload() const
    {
        CdBurningStateFile file(statePath);
        std::vector<BYTE> payload;
        EXPECT_EQ(file.Load(payload), 1);
        return payload;
    }

    testbed::Machine pc;
    CString folder;
    CString statePath;
};

TEST_F(CdBurningPolicyTest, KeepsTheValueItFoundThenSetsThePolicy)
{
    enum class Found { Missing, Zero, One, Text };
    struct Case {
        Found found;
        BOOL block;
        std::vector<BYTE> kept;
        long long policy;
    };
    const Case cases[] = {
        {Found::Missing, 1, {}, 1},
        {Found::Zero, 1, {0, 0, 0, 0}, 1},
        {Found::One, 0, {1, 0, 0, 0}, 0},
        {Found::Text, 1, {}, 1},  // text is no readable value: the file is empty
    };
    for (const Case& c : cases) {
        Clean();
        if (c.found == Found::Zero || c.found == Found::One)
            SetPolicy(c.found == Found::One ? 1 : 0);
        if (c.found == Found::Text)
            SetPolicy(REG_SZ, L"1", 2 * sizeof(wchar_t));
        CdBurningPolicy::Apply(c.block, folder);
        ASSERT_TRUE(StateFileExists());
        EXPECT_EQ(StatePayload(), c.kept);
        EXPECT_EQ(Policy(), c.policy);
    }
}

TEST_F(CdBurningPolicyTest, NeverOverwritesAnExistingStateFile)
{
    SetPolicy(0);
    CdBurningPolicy::Apply(1, folder);
    std::vector<BYTE> first;
    ReadWholeFile(statePath, first);
    EXPECT_EQ(first.size(), 16u);

    // The policy has changed since; the file keeps what was there before the first logoff.
    CdBurningPolicy::Apply(0, folder);
    CdBurningPolicy::Apply(1, folder);
    std::vector<BYTE> later;
    ReadWholeFile(statePath, later);
    EXPECT_EQ(later, first);
    EXPECT_EQ(StatePayload(), (std::vector<BYTE>{0, 0, 0, 0}));

    // Not even a file that is not a state file at all.
    Clean();
    const std::vector<BYTE> foreign = {'k', 'e', 'e', 'p'};
    WriteWholeFile(statePath, foreign);
    CdBurningPolicy::Apply(0, folder);
    ReadWholeFile(statePath, later);
    EXPECT_EQ(later, foreign);
    EXPECT_EQ(Policy(), 0);
}

TEST_F(CdBurningPolicyTest, TouchesNothingUpToWindows2000)
{
    struct Case {
        DWORD major;
        DWORD minor;
        bool touched;
    };
    const Case cases[] = {{4, 0, false}, {5, 0, false}, {5, 1, true}, {6, 3, true}, {10, 0, true}};
    for (const Case& c : cases) {
        Clean();
        pc.SetWindowsVersion(c.major, c.minor);
        CdBurningPolicy::Apply(1, folder);
        EXPECT_EQ(StateFileExists(), c.touched) << c.major << "." << c.minor;
        EXPECT_EQ(Policy(), c.touched ? 1 : -1) << c.major << "." << c.minor;
    }
}

TEST_F(CdBurningPolicyTest, PutsExactlyOneBackslashBeforeTheFileName)
{
    EXPECT_EQ(CdBurningPolicy::StateFilePath(L"C:\\Program Files\\QEVRIN"), CString(L"C:\\Program Files\\QEVRIN\\CDBurning.dat"));
    EXPECT_EQ(CdBurningPolicy::StateFilePath(L"C:\\Program Files\\QEVRIN\\"), CString(L"C:\\Program Files\\QEVRIN\\CDBurning.dat"));
    CdBurningPolicy::Apply(1, folder + L"\\");
    EXPECT_TRUE(StateFileExists());
}

TEST_F(CdBurningPolicyTest, SetsThePolicyEvenWhenTheStateFileCannotBeWritten)
{
    CdBurningPolicy::Apply(1, folder + L"\\missing\\folder");
    EXPECT_EQ(GetFileAttributesW(folder + L"\\missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Policy(), 1);
}

}  // namespace
