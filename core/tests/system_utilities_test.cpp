#include "core/system/FormatWString.h"
#include "core/system/ProgramPaths.h"
#include "core/system/ShieldButtonHook.h"
#include "core/system/WindowsRestart.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

std::wstring Format(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::wstring out = L"old";
    FormatWString(out, format, arguments);
    va_end(arguments);
    return out;
}

}  // namespace

TEST(SystemUtilities, FormatWStringGrowsForLongText)
{
    EXPECT_EQ(Format(L"%d-%ls", 42, L"x"), L"42-x");
    EXPECT_EQ(Format(L""), L"");
    const std::wstring longText(3000, L'a');
    EXPECT_EQ(Format(L"<%ls>", longText.c_str()), L"<" + longText + L">");
    const std::wstring exact(511, L'b');
    EXPECT_EQ(Format(L"%ls", exact.c_str()), exact);
    const std::wstring full(512, L'c');
    EXPECT_EQ(Format(L"%ls", full.c_str()), full);
}

TEST(SystemUtilities, ModulePathNamesTheRunningProgram)
{
    CString path = GetModuleFilePath();
    wchar_t expected[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, expected, MAX_PATH);
    EXPECT_EQ(path, CString(expected));
    EXPECT_EQ(path.Right(4).CompareNoCase(L".exe"), 0);
}

TEST(SystemUtilities, CommonAppDataFolderExists)
{
    CString folder = GetCommonAppDataFolder();
    ASSERT_FALSE(folder.IsEmpty());
    DWORD attributes = GetFileAttributesW(folder);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SystemUtilities, ShutdownPrivilegeCanBeTurnedOnAndOff)
{
    EXPECT_TRUE(SetShutdownPrivilege(true));
    EXPECT_TRUE(SetShutdownPrivilege(false));
}

TEST(SystemUtilities, ShieldHookLivesWithItsHolder)
{
    {
        ShieldButtonHook hook(IDOK, L"");
        EXPECT_TRUE(hook.IsInstalled());
    }
    ShieldButtonHook again(IDYES, L"text");
    EXPECT_TRUE(again.IsInstalled());
}
