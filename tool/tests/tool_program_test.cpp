//
//  The real QEVRINTool.exe as a child process: what it shows at start, the wizard's way to a
//  stored setting, and how two instances meet. The test stands in for the service's pipe and
//  drives the child's windows by messages.
//
#include "core/store/FileKeySource.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/tests/product_key_support.h"
#include "tool/sheet/PasswordPageFields.h"
#include "tool/WhitelistEntryText.h"
#include "tool/resource.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/stored_items.h"
#include "tool/tests/tool_process.h"
#include "tool/tests/ui_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kWizardNextId = 0x3024;
constexpr int kWizardFinishId = 0x3025;
constexpr int kSheetTabId = 0x3020;
constexpr DWORD kStartMs = 30000;

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

class ToolProgram : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override { Forget(); }

    static void Forget()
    {
        producttest::DeleteProductKey();
        DeleteFileW(Quelmar::GetSettingFilePath());
    }
    // A setup done earlier: a password, and a setting that agrees with Explorer's CD policy so
    // that no restart question gets in the way, unless asked to differ from it.
    static void StoreProtectedSetup(bool differFromCdPolicy = false)
    {
        Quelmar::PasswordData password;
        password.passwordSet = 1;
        password.passwordDigest = ComputePasswordDigest(L"secret");
        ASSERT_EQ(Quelmar::SettingStore::SavePasswordData(password), 1);
        Quelmar::SettingV3 setting;
        Quelmar::SettingStore::SetDefaultSettings(setting);
        setting.usbControlEnabled = 1;
        setting.blockCdWriting = Quelmar::IsCdBurningBlockedByPolicy() == (differFromCdPolicy ? 0 : 1) ? 1 : 0;
        ASSERT_EQ(Quelmar::SettingStore::SaveSettingFile(FileKeySource(StoreConstants::kFileKeyMaterial),
                                                         setting),
                  1);
    }

    FakeServicePipe service;
};

}  // namespace

TEST_F(ToolProgram, WizardStoresWhatItsPagesSetAndAsksTheServiceToReload)
{
    ToolProcess tool(L"/WIZARD");
    ASSERT_TRUE(tool.Started());
    HWND wizard = ui::WaitForDialog(tool.ThreadId(), kWizardNextId, kStartMs, true);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(ui::Text(wizard), Loaded(IDS_SETUP_CAPTION));
    EXPECT_TRUE(GetWindowLongPtrW(wizard, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // Page one: one entry through the entry dialog, the defaults of a first run otherwise.
    HWND whole = ui::CurrentPage(wizard);
    ASSERT_NE(GetDlgItem(whole, IDC_WHITELIST), nullptr);
    ui::Click(whole, IDC_WHITELIST_ADD);
    HWND entry = ui::WaitForDialog(tool.ThreadId(), IDC_USE_VENDOR_ID, 10000, true);
    ASSERT_NE(entry, nullptr);
    // A new entry starts with vendor ID, product ID and serial number in use.
    ui::SetItemText(entry, IDC_VENDOR_ID, L"0781");
    ui::SetItemText(entry, IDC_PRODUCT_ID, L"5567");
    ui::SetItemText(entry, IDC_SERIAL, L"4C53ab");
    ui::Click(entry, IDOK);
    const bool entryClosed = ui::WaitUntil([&] { return !IsWindow(entry); }, 10000);
    if (!entryClosed) {
        ui::SaveScreenshot(entry, L"wizard_entry_left_open");
        HWND box = ui::WaitForMessageBox(tool.ThreadId(), 0);
        ASSERT_TRUE(entryClosed) << "message: " << (box ? testing::PrintToString(ui::ItemText(box, 0xFFFF)) : "none");
    }

    ui::SaveScreenshot(wizard, L"wizard_whitelist");

    // Page two: a password typed twice; every page keeps the wizard's caption.
    HWND password = ui::PressNext(wizard);
    EXPECT_EQ(ui::Text(wizard), Loaded(IDS_SETUP_CAPTION));
    ASSERT_NE(GetDlgItem(password, IDC_PASSWORD_CONFIRM), nullptr);
    ui::SetItemText(password, IDC_PASSWORD, L"secret");
    ui::SetItemText(password, IDC_PASSWORD_CONFIRM, L"secret");
    ui::SaveScreenshot(wizard, L"wizard_password");

    // Page three: the summary of page one.
    HWND finish = ui::PressNext(wizard);
    ASSERT_NE(GetDlgItem(finish, IDC_SETTING_SUMMARY), nullptr);
    Quelmar::WhitelistEntry entered;
    entered.useVendorId = 1;
    entered.vendorId = 0x0781;
    entered.useProductId = 1;
    entered.productId = 0x5567;
    entered.useSerialNumber = 1;
    entered.serialNumber = L"4C53ab";
    entered.attribute = 0;
    CString entryText;
    FormatWhitelistEntry(entered, entryText);
    const std::wstring br = L"\r\n";
    const std::wstring bullet = Loaded(IDS_SUMMARY_BULLET);
    const std::wstring expected = Loaded(IDS_SUMMARY_WHITELIST) + br + bullet + entryText.GetString() + br + br +
                                  Loaded(IDS_SUMMARY_OUTSIDE) + br + bullet + Loaded(IDS_SUMMARY_BLOCK_ALL) + br + br +
                                  Loaded(IDS_SUMMARY_OPTIONS) + br + bullet + Loaded(IDS_SUMMARY_BLOCK_PORTABLE) + br +
                                  bullet + Loaded(IDS_SUMMARY_BLOCK_CD) + br + bullet +
                                  Loaded(IDS_SUMMARY_ALLOW_INTERNAL_SD) + br;
    EXPECT_EQ(ui::ItemText(finish, IDC_SETTING_SUMMARY), expected);
    ui::SaveScreenshot(wizard, L"wizard_summary");

    // Finish as the button does; CD writing is to be blocked while Explorer's policy is not.
    PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(kWizardFinishId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(wizard, kWizardFinishId)));
    HWND question = ui::WaitForMessageBox(tool.ThreadId(), 10000);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(ui::ItemText(question, 0xFFFF), Loaded(IDS_RESTART_FOR_CD_POLICY));
    ui::Click(question, IDNO);
    EXPECT_EQ(tool.WaitForExit(15000), 0u);

    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{1, 2}));
    Quelmar::SettingV3 setting;
    Quelmar::PasswordData stored;
    ASSERT_EQ(Quelmar::SettingStore::Load(setting, stored, FileKeySource(StoreConstants::kFileKeyMaterial)),
              1);
    EXPECT_EQ(setting.usbControlEnabled, 1);
    ASSERT_EQ(setting.whitelist.size(), 1u);
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(setting.whitelist[0], entered));
    EXPECT_EQ(setting.outsidePolicy, Quelmar::OutsidePolicyBlock);
    EXPECT_EQ(setting.blockPortableDevices, 1);
    EXPECT_EQ(setting.blockCdWriting, 1);
    EXPECT_EQ(setting.blockInternalSd, 0);
    EXPECT_EQ(stored.passwordSet, 1);
    EXPECT_EQ(stored.passwordDigest, ComputePasswordDigest(L"secret"));
    EXPECT_EQ(stored.keyDeviceSet, 0);
    EXPECT_EQ(stored.unlockMode, Quelmar::UnlockModeUnset);
}

// Start-up that ends without the sheet (the setup already done, or the unlock cancelled)
// offers a restart, without an owner, only when the stored CD/DVD switch and Explorer's policy
// disagree.
TEST_F(ToolProgram, StartUpWithoutTheSheetAsksForARestartOnlyWhenTheCdPolicyDiffers)
{
    const struct {
        const wchar_t* arguments;
        bool policyDiffers;
    } cases[] = {
        {L"-wizard", true},
        {L"-wizard", false},
        {L"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (*c.arguments ? "wizard flag" : "unlock cancelled") << ", policy "
                                        << (c.policyDiffers ? "differs" : "agrees"));
        Forget();
        StoreProtectedSetup(c.policyDiffers);
        const size_t commandsBefore = service.Codes().size();
        ToolProcess tool(c.arguments);
        ASSERT_TRUE(tool.Started());
        if (*c.arguments == L'\0') {
            HWND unlock = ui::WaitForDialog(tool.ThreadId(), IDC_PASSWORD, kStartMs, true);
            ASSERT_NE(unlock, nullptr);
            ui::Click(unlock, IDCANCEL);
        }
        HWND question = ui::WaitForMessageBox(tool.ThreadId(), c.policyDiffers ? kStartMs : 1000);
        if (c.policyDiffers) {
            ASSERT_NE(question, nullptr);
            EXPECT_EQ(ui::ItemText(question, 0xFFFF), Loaded(IDS_RESTART_FOR_CD_POLICY));
            EXPECT_EQ(ui::Text(question), Loaded(IDS_PRODUCT_NAME));
            EXPECT_EQ(GetWindow(question, GW_OWNER), nullptr);
            ui::Click(question, IDNO);
        } else {
            EXPECT_EQ(question, nullptr);
        }
        EXPECT_EQ(tool.WaitForExit(15000), 0u);
        const std::vector<DWORD> codes = service.Codes();
        EXPECT_EQ(std::vector<DWORD>(codes.begin() + commandsBefore, codes.end()), (std::vector<DWORD>{1}));
    }
}

TEST_F(ToolProgram, PasswordOpensTheSettingsSheet)
{
    StoreProtectedSetup();
    ToolProcess tool(L"");
    ASSERT_TRUE(tool.Started());
    HWND unlock = ui::WaitForDialog(tool.ThreadId(), IDC_PASSWORD, kStartMs, true);
    ASSERT_NE(unlock, nullptr);
    EXPECT_EQ(ui::Text(unlock), Loaded(IDS_PRODUCT_NAME));
    ui::SaveScreenshot(unlock, L"program_unlock");
    ui::SetItemText(unlock, IDC_PASSWORD, L"secret");
    ui::Click(unlock, IDOK);

    HWND sheet = ui::WaitForDialog(tool.ThreadId(), kSheetTabId, 15000, true);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(ui::Text(sheet), Loaded(IDS_SHEET_CAPTION));
    EXPECT_EQ(SendMessageW(GetDlgItem(sheet, kSheetTabId), TCM_GETITEMCOUNT, 0, 0), 4);
    ui::SaveScreenshot(sheet, L"program_sheet");
    // Cancel as its button does; the stored setting agrees with the CD policy, so nothing is asked.
    PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(sheet, IDCANCEL)));
    EXPECT_EQ(tool.WaitForExit(15000), 0u);
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{1}));
}

TEST_F(ToolProgram, SecondInstanceEndsAndBringsTheFirstToTheFront)
{
    StoreProtectedSetup();
    ToolProcess first(L"");
    ASSERT_TRUE(first.Started());
    HWND unlock = ui::WaitForDialog(first.ThreadId(), IDC_PASSWORD, kStartMs, true);
    ASSERT_NE(unlock, nullptr);

    // Something else in front, so that only the first instance's answer to 0x8014 can bring
    // its dialog back.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(ui::WaitUntil([&] { return GetForegroundWindow() == other; }, 5000));

    ToolProcess second(L"");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(kStartMs), 0u);
    // The test's own window must answer what the change of foreground asks of it.
    EXPECT_TRUE(ui::WaitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        return GetForegroundWindow() == unlock;
    }, 5000)) << "foreground " << GetForegroundWindow() << ", first instance's dialog " << unlock << ", desktop "
              << GetDesktopWindow();
    DestroyWindow(other);

    // Only the first instance asked the service anything.
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{1}));
    ui::Click(unlock, IDCANCEL);
    EXPECT_EQ(first.WaitForExit(15000), 0u);
}

TEST_F(ToolProgram, InstanceThatDiedHoldingTheLockDoesNotLockTheToolOut)
{
    StoreProtectedSetup();
    {
        ToolProcess crashed(L"");
        ASSERT_TRUE(crashed.Started());
        ASSERT_NE(ui::WaitForDialog(crashed.ThreadId(), IDC_PASSWORD, kStartMs, true), nullptr);
        crashed.Terminate();
    }
    ToolProcess next(L"");
    ASSERT_TRUE(next.Started());
    HWND unlock = ui::WaitForDialog(next.ThreadId(), IDC_PASSWORD, kStartMs, true);
    ASSERT_NE(unlock, nullptr);
    ui::Click(unlock, IDCANCEL);
    EXPECT_EQ(next.WaitForExit(15000), 0u);
}

// A service of another version, or a password item that cannot be read, stops start-up with
// the bad-installation message, and nothing is written.
TEST_F(ToolProgram, BadInstallationIsReportedAndNothingIsStored)
{
    const std::vector<BYTE> damaged = {0x51, 0x45, 0x56, 0x00, 0x13, 0x37};
    const DWORD older[4] = {1, 0, 1, 0};
    const DWORD current[4] = {1, 0, 1, 1};
    for (const bool damagedItem : {false, true}) {
        SCOPED_TRACE(damagedItem ? "damaged password item" : "service of another version");
        Forget();
        service.SetVersion(damagedItem ? current : older);
        if (damagedItem) {
            ASSERT_TRUE(tooltest::StorePasswordItemBytes(damaged));
        }
        ToolProcess tool(L"/wizard");
        ASSERT_TRUE(tool.Started());
        HWND box = ui::WaitForMessageBox(tool.ThreadId(), kStartMs);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(ui::ItemText(box, 0xFFFF), Loaded(IDS_BAD_INSTALLATION));
        EXPECT_EQ(ui::Text(box), Loaded(IDS_PRODUCT_NAME));
        ui::Click(box, IDOK);
        EXPECT_EQ(tool.WaitForExit(15000), 0u);
        EXPECT_EQ(GetFileAttributesW(Quelmar::GetSettingFilePath()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(tooltest::StoredPasswordItemBytes(), damagedItem ? damaged : std::vector<BYTE>());
    }
}
