#include "core/system/SystemPolicy.h"

#include "classlib/ScopedRegKey.h"
#include "core/system/WmiOsVersionQuery.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kExplorerPolicy[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";
const wchar_t kIoSystem[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\I/O System";

void SetValue(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void DeleteValue(const wchar_t* path, const wchar_t* name)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
    }
}

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }

private:
    HRESULT hr_;
};

class SystemPolicyTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        DeleteValue(kExplorerPolicy, L"NoCDBurning");
        DeleteValue(kIoSystem, L"IoBlockLegacyFsFilters");
    }
    ComApartment com_;
};

}  // namespace

TEST_F(SystemPolicyTest, ReadsNoCDBurningValue)
{
    DWORD one = 1;
    SetValue(kExplorerPolicy, L"NoCDBurning", REG_DWORD, &one, sizeof(one));
    DWORD value = 7;
    EXPECT_EQ(ReadNoCDBurningPolicy(value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
}

TEST_F(SystemPolicyTest, MissingNoCDBurningReportsErrorAndZero)
{
    DeleteValue(kExplorerPolicy, L"NoCDBurning");
    DWORD value = 7;
    EXPECT_NE(ReadNoCDBurningPolicy(value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0u);
}

TEST_F(SystemPolicyTest, NoCDBurningLongerThanFourBytesIsNotRead)
{
    const BYTE bytes[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    SetValue(kExplorerPolicy, L"NoCDBurning", REG_BINARY, bytes, sizeof(bytes));
    DWORD value = 7;
    EXPECT_EQ(ReadNoCDBurningPolicy(value), ERROR_MORE_DATA);
    EXPECT_EQ(value, 0u);
}

TEST_F(SystemPolicyTest, NoCDBurningOfOtherTypeIsNotANumber)
{
    const wchar_t text[] = L"1";
    SetValue(kExplorerPolicy, L"NoCDBurning", REG_SZ, text, sizeof(text));
    DWORD value = 7;
    EXPECT_EQ(ReadNoCDBurningPolicy(value), ERROR_INVALID_DATA);
    EXPECT_EQ(value, 0u);
}

TEST_F(SystemPolicyTest, LegacyFilterValueDecidesWithoutWmi)
{
    struct Case {
        DWORD type;
        DWORD value;
        int flag;
    };
    const Case cases[] = {
        {REG_DWORD, 0, 0},
        {REG_DWORD, 1, 1},
        {REG_DWORD, 5, 1},
        {REG_BINARY, 1, 0},   // present with another type: 0, no fall-back
    };
    for (const Case& c : cases) {
        SetValue(kIoSystem, L"IoBlockLegacyFsFilters", c.type, &c.value, sizeof(c.value));
        int flag = -1;
        EXPECT_EQ(CheckLegacyFilterBlocking(flag), S_OK);
        EXPECT_EQ(flag, c.flag) << c.type << " " << c.value;
    }
}

TEST_F(SystemPolicyTest, MissingLegacyFilterValueFallsBackToWmi)
{
    DeleteValue(kIoSystem, L"IoBlockLegacyFsFilters");
    int expected = -1;
    HRESULT expectedResult = IsOsVersionAboveThreshold(expected);
    int flag = -1;
    EXPECT_EQ(CheckLegacyFilterBlocking(flag), expectedResult);
    EXPECT_EQ(flag, expected);
}

TEST_F(SystemPolicyTest, WmiReportsTheWindowsVersion)
{
    WmiOsVersionQuery query;
    ASSERT_EQ(query.Connect(L"ROOT\\CIMV2"), S_OK);
    CString version;
    ASSERT_EQ(query.QueryVersion(version), S_OK);
    EXPECT_GE(version.GetLength(), 3);
    EXPECT_EQ(version[0] >= L'1' && version[0] <= L'9', true);

    int flag = -1;
    EXPECT_EQ(IsOsVersionAboveThreshold(flag), S_OK);
    EXPECT_TRUE(flag == 0 || flag == 1);
}

TEST_F(SystemPolicyTest, WmiQueryWithoutConnectionFails)
{
    WmiOsVersionQuery query;
    CString version(L"x");
    EXPECT_TRUE(FAILED(query.QueryVersion(version)));
    EXPECT_TRUE(version.IsEmpty());
}
