//
//  Start-up in process: the command line, and what the tool does when the service is missing
//  (the clock runs fast through the core's minute of waiting for it).
//
#include "classlib/ScopedRegKey.h"
#include "tool/CSettingToolCommandLineInfo.h"
#include "tool/SettingToolCore.h"
#include "tool/StartupOutcome.h"
#include "tool/resource.h"
#include "tool/tests/test_files.h"
#include "tool/tests/testbed_pcs.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const wchar_t* kIoSystemKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\I/O System";
constexpr const wchar_t* kBlockValue = L"IoBlockLegacyFsFilters";

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The stand-in helper program, built beside the tests, copied into the tool's folder.
bool PlaceHelperProgram(const tooltest::TempFolder& toolFolder)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring helper(self);
    helper = helper.substr(0, helper.rfind(L'\\')) + L"\\QEVRINfbf.exe";
    return CopyFileW(helper.c_str(), toolFolder.File(L"QEVRINfbf.exe").c_str(), FALSE) != FALSE;
}

class LegacyFilterSetting {
public:
    explicit LegacyFilterSetting(DWORD value)
    {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kIoSystemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Receive(),
                        nullptr);
        RegSetValueExW(key_, kBlockValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    ~LegacyFilterSetting() { RegDeleteValueW(key_, kBlockValue); }

private:
    ScopedRegKey key_;
};

}  // namespace

TEST(SettingToolCommandLine, WizardNeedsASlashOrHyphenAndTheWholeWordInAnyCase)
{
    const struct {
        const wchar_t* arguments;
        int wizard;
    } cases[] = {
        {L"/wizard", 1},       {L"-WIZARD", 1},        {L"/WiZaRd", 1},  {L"/unknown -Wizard", 1},
        {L"/wizard extra", 1}, {L"wizard", 0},         {L"/wizards", 0}, {L"/wiz", 0},
        {L"", 0},              {L"\"/ wizard\"", 0},   {L"/", 0},        {L"/p /dde", 0},
    };
    for (const auto& c : cases) {
        CSettingToolCommandLineInfo info;
        ASSERT_TRUE(info.ParseCommandLine(c.arguments));
        EXPECT_EQ(info.m_wizard, c.wizard) << "arguments: " << std::string(c.arguments, c.arguments + wcslen(c.arguments));
    }
}

TEST(StartupOutcome, MissingServiceWithBlockedLegacyFiltersOffersTheHelperProgram)
{
    const struct {
        DWORD blocked;
        int expectedResult;
        UINT expectedText;
        int answer;
        bool helperStarted;
    } cases[] = {
        {1, Quelmar::kLegacyFiltersBlocked, IDS_LEGACY_FILTERS_BLOCKED, IDOK, true},
        {1, Quelmar::kLegacyFiltersBlocked, IDS_LEGACY_FILTERS_BLOCKED, IDCANCEL, false},
        {0, Quelmar::kServiceMismatch, IDS_BAD_INSTALLATION, IDOK, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "IoBlockLegacyFsFilters " << c.blocked << ", answer " << c.answer);
        tooltest::TempFolder folder;
        ASSERT_TRUE(PlaceHelperProgram(folder));
        LegacyFilterSetting setting(c.blocked);
        tooltest::ToolPc machine;
        machine.pc.programFile = folder.File(L"QEVRINTool.exe");

        // No service: the core waits a minute for its pipe, which the fast clock shortens.
        Quelmar::SettingToolCore core;
        machine.pc.tickCountBase = GetTickCount();
        machine.pc.tickCountScale = 1000;
        const int result = core.Connect();
        machine.pc.tickCountScale = 1;
        EXPECT_EQ(result, c.expectedResult);

        const DWORD uiThread = GetCurrentThreadId();
        std::wstring text;
        std::wstring caption;
        int goOn = -1;
        {
            ui::Driver driver([&] {
                HWND box = ui::WaitForMessageBox(uiThread, 10000);
                if (box == nullptr) {
                    return;
                }
                text = ui::ItemText(box, 0xFFFF);
                caption = ui::Text(box);
                if (c.expectedText == IDS_LEGACY_FILTERS_BLOCKED && c.answer == IDOK) {
                    ui::SaveScreenshot(box, L"legacy_filters_blocked");
                }
                ui::Click(box, c.answer);
            });
            goOn = ReportStartupResult(result);
        }
        EXPECT_EQ(goOn, 0);
        EXPECT_EQ(text, Loaded(c.expectedText));
        EXPECT_EQ(caption, Loaded(IDS_PRODUCT_NAME));
        if (c.helperStarted) {
            EXPECT_TRUE(ui::WaitUntil([&] { return Exists(folder.File(L"fbf_started")); }, 15000));
        } else {
            EXPECT_FALSE(ui::WaitUntil([&] { return Exists(folder.File(L"fbf_started")); }, 1000));
        }
        core.Disconnect();
    }
}
