//
//  The setup wizard in process: what page two refuses, the summary of page one, and a Finish
//  whose second save fails.
//
#include "classlib/ScopedRegKey.h"
#include "core/store/FileKeySource.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/tests/product_key_support.h"
#include "core/tests/stick_entry.h"
#include "tool/wizard/CInitializeWizard.h"
#include "tool/ISettingToolCore.h"
#include "tool/SettingToolCore.h"
#include "tool/resource.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/sheet_driver.h"
#include "tool/tests/test_files.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kWizardNextId = 0x3024;
constexpr int kWizardFinishId = 0x3025;

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

class SetupWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        Forget();
        // A first run: the core holds the defaults.
        Quelmar::SettingV3 setting;
        Quelmar::SettingStore::SetDefaultSettings(setting);
        Quelmar::PasswordData password;
        Quelmar::SettingStore::SetDefaultPasswordData(password);
        Quelmar::GetSettingToolCore().SetSettings(setting);
        Quelmar::GetSettingToolCore().SetPasswordData(password);
    }
    void TearDown() override { Forget(); }

    static void Forget()
    {
        producttest::DeleteProductKey();
        DeleteFileW(Quelmar::GetSettingFilePath());
    }
};

}  // namespace

// Unlike the settings page, nothing is stored yet: some protection, and then a typed
// password, is always required.
TEST_F(SetupWizard, PasswordPageRefusesNextWithoutAProtectionOrWithoutATypedPassword)
{
    const struct {
        bool password;
        const wchar_t* confirmation;
        UINT message;
    } cases[] = {
        {false, L"", IDS_SET_PASSWORD_OR_KEY},
        {true, L"", IDS_PASSWORD_REQUIRED},
        {true, L"secret", IDS_PASSWORD_REQUIRED},
    };
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<std::wstring> messages;
    std::vector<bool> stayed;
    bool passwordOnAtStart = false;
    bool wentOn = false;
    {
        CInitializeWizard wizard;
        ui::Driver driver([&] {
            HWND sheet = ui::WaitForDialog(uiThread, kWizardNextId, 10000, true);
            if (sheet == nullptr) {
                return;
            }
            HWND page = ui::PressNext(sheet);
            passwordOnAtStart = sheettest::IsChecked(page, IDC_SET_PASSWORD) &&
                                sheettest::IsEnabled(page, IDC_PASSWORD) &&
                                !sheettest::IsEnabled(page, IDC_SELECT_KEY_DEVICE);
            for (const auto& c : cases) {
                sheettest::SetCheck(page, IDC_SET_PASSWORD, c.password);
                ui::SetItemText(page, IDC_PASSWORD_CONFIRM, c.confirmation);
                PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
                messages.push_back(sheettest::AnswerMessageBox(IDOK));
                stayed.push_back(ui::CurrentPage(sheet) == page);
            }
            ui::SetItemText(page, IDC_PASSWORD, L"secret");
            wentOn = ui::PressNext(sheet) != page;
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        wizard.DoModal();
    }
    EXPECT_TRUE(passwordOnAtStart);
    ASSERT_EQ(messages.size(), std::size(cases));
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i], Loaded(cases[i].message)) << "case " << i;
        EXPECT_TRUE(stayed[i]) << "case " << i;
    }
    EXPECT_TRUE(wentOn);
}

TEST_F(SetupWizard, FailedPasswordSaveKeepsTheWizardOpenAndTheNextStartIsAFirstRunAgain)
{
    FakeServicePipe service;
    // The password data item cannot be made under a volatile product key; the setting file can.
    {
        ScopedRegKey volatileKey;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath, 0, nullptr,
                                  REG_OPTION_VOLATILE, KEY_ALL_ACCESS | kProductKeyView, nullptr,
                                  volatileKey.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    const DWORD uiThread = GetCurrentThreadId();
    std::wstring summary;
    std::wstring failure;
    bool stillOpen = false;
    bool startedAsFirstRun = false;
    {
        CInitializeWizard wizard;
        ui::Driver driver([&] {
            HWND sheet = ui::WaitForDialog(uiThread, kWizardNextId, 10000, true);
            if (sheet == nullptr) {
                return;
            }
            HWND whole = ui::CurrentPage(sheet);
            startedAsFirstRun = SendMessageW(GetDlgItem(whole, IDC_WHITELIST), LVM_GETITEMCOUNT, 0, 0) == 0 &&
                                sheettest::IsChecked(whole, IDC_OUTSIDE_BLOCK) && sheettest::IsChecked(whole, IDC_BLOCK_PORTABLE) &&
                                sheettest::IsChecked(whole, IDC_BLOCK_CD_WRITING) && !sheettest::IsChecked(whole, IDC_BLOCK_INTERNAL_SD) &&
                                !IsWindowEnabled(GetDlgItem(whole, IDC_CSV_EXPORT));
            SendMessageW(GetDlgItem(whole, IDC_OUTSIDE_BLOCK), BM_SETCHECK, BST_UNCHECKED, 0);
            SendMessageW(GetDlgItem(whole, IDC_OUTSIDE_READ_ONLY), BM_SETCHECK, BST_CHECKED, 0);
            SendMessageW(GetDlgItem(whole, IDC_BLOCK_PORTABLE), BM_SETCHECK, BST_UNCHECKED, 0);
            SendMessageW(GetDlgItem(whole, IDC_BLOCK_CD_WRITING), BM_SETCHECK, BST_UNCHECKED, 0);
            SendMessageW(GetDlgItem(whole, IDC_BLOCK_INTERNAL_SD), BM_SETCHECK, BST_CHECKED, 0);
            HWND password = ui::PressNext(sheet);
            ui::SetItemText(password, IDC_PASSWORD, L"secret");
            ui::SetItemText(password, IDC_PASSWORD_CONFIRM, L"secret");
            HWND finish = ui::PressNext(sheet);
            summary = ui::ItemText(finish, IDC_SETTING_SUMMARY);
            PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(kWizardFinishId, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(sheet, kWizardFinishId)));
            failure = sheettest::AnswerMessageBox(IDOK);
            stillOpen = IsWindow(sheet) && ui::CurrentPage(sheet) == finish;
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        wizard.DoModal();
    }
    EXPECT_TRUE(startedAsFirstRun);
    const std::wstring br = L"\r\n";
    const std::wstring bullet = Loaded(IDS_SUMMARY_BULLET);
    EXPECT_EQ(summary, Loaded(IDS_SUMMARY_WHITELIST) + br + bullet + Loaded(IDS_SUMMARY_NONE) + br + br +
                           Loaded(IDS_SUMMARY_OUTSIDE) + br + bullet + Loaded(IDS_SUMMARY_ALL_READ_ONLY) + br + br +
                           Loaded(IDS_SUMMARY_OPTIONS) + br + bullet + Loaded(IDS_SUMMARY_ALLOW_PORTABLE) + br +
                           bullet + Loaded(IDS_SUMMARY_ALLOW_CD) + br + bullet +
                           Loaded(IDS_SUMMARY_BLOCK_INTERNAL_SD) + br);
    EXPECT_EQ(failure, Loaded(IDS_CANNOT_SAVE_SETTING));
    EXPECT_TRUE(stillOpen);
    // The setting went to its file before the password data failed; no reload was asked for.
    EXPECT_NE(GetFileAttributesW(Quelmar::GetSettingFilePath()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(service.Codes().empty());

    // Without password data the next start takes the defaults and is a first run, whatever
    // the setting file holds.
    Quelmar::SettingToolCore next;
    EXPECT_EQ(next.Connect(), Quelmar::kConnected);
    EXPECT_EQ(*next.IsSetupDone(), 0);
    EXPECT_EQ(next.GetSettings()->outsidePolicy, Quelmar::OutsidePolicyBlock);
    EXPECT_EQ(next.GetSettings()->blockInternalSd, 0);
    EXPECT_EQ(next.GetPasswordData()->passwordSet, 0);
    next.Disconnect();
}

// As on the settings page: a list that an import left short, with neither the file's rows nor
// its own, is not carried on to Finish, which would store it.
TEST_F(SetupWizard, ListThatAnImportLeftShortKeepsTheWizardOnItsPage)
{
    Quelmar::SettingV3 setting;
    Quelmar::AssignSetting(setting, *Quelmar::GetSettingToolCore().GetSettings());
    setting.whitelist = {StickEntry(0x1234, 0x0001, L"OLD", Quelmar::WhitelistFullAccess)};
    Quelmar::GetSettingToolCore().SetSettings(setting);
    tooltest::TempFolder folder;
    const std::wstring csv = folder.File(L"list.csv");
    ASSERT_TRUE(tooltest::WriteBytes(csv, "0,1,0x0781,1,0x5567,1,NEW1,0,,0,\r\n0,1,0x0781,1,0x5567,1,NEW2,0,,0,\r\n"));
    const DWORD uiThread = GetCurrentThreadId();
    std::wstring lost, refused;
    bool stayed = false;
    {
        CInitializeWizard wizard;
        ui::Driver driver([&] {
            HWND sheet = ui::WaitForDialog(uiThread, kWizardNextId, 10000, true);
            if (sheet == nullptr) {
                return;
            }
            HWND whole = ui::CurrentPage(sheet);
            lost = sheettest::ImportWhileTheListRunsOutOfMemory(uiThread, whole, csv, 2);
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
            refused = sheettest::AnswerMessageBox(IDOK);
            stayed = ui::CurrentPage(sheet) == whole;
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        wizard.DoModal();
    }
    EXPECT_EQ(lost, Loaded(IDS_CSV_ROWS_LOST));
    EXPECT_EQ(refused, Loaded(IDS_CSV_ROWS_LOST));
    EXPECT_TRUE(stayed);
}
