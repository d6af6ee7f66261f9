#include "core/system/FormatWString.h"
#include "core/system/ProgramPaths.h"
#include "core/system/ShieldButtonHook.h"
#include "core/system/WindowsRestart.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <vector>
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

namespace {

// A dialog template with one push button (id IDOK, text "OK"), built in memory.
std::vector<WORD> OneButtonDialog()
{
    std::vector<WORD> t;
    auto dword = [&t](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    dword(WS_POPUP | WS_CAPTION);  // style
    dword(0);                      // extended style
    t.push_back(1);                // one item
    t.insert(t.end(), {0, 0, 100, 50});
    t.insert(t.end(), {0, 0, 0});  // no menu, default class, no title
    if (t.size() % 2 != 0) {
        t.push_back(0);            // items start on a DWORD boundary
    }
    dword(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON);
    dword(0);
    t.insert(t.end(), {10, 10, 40, 14, static_cast<WORD>(IDOK)});
    t.insert(t.end(), {0xFFFF, 0x0080});  // button class
    t.insert(t.end(), {L'O', L'K', 0});
    t.push_back(0);                        // no creation data
    return t;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

CString ButtonText(HWND dialog)
{
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, IDOK, text, 64);
    return text;
}

}  // namespace

TEST(SystemUtilities, ShieldHookRenamesTheButtonOfTheNextDialog)
{
    const std::vector<WORD> dialogTemplate = OneButtonDialog();
    const DLGTEMPLATE* dialogData = reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data());
    {
        ShieldButtonHook hook(IDOK, L"Restart");
        HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialogData, nullptr, PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        EXPECT_EQ(ButtonText(dialog), CString(L"Restart"));
        DestroyWindow(dialog);
    }
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialogData, nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ButtonText(dialog), CString(L"OK"));
    DestroyWindow(dialog);
}
