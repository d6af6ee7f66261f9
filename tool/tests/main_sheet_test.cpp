//
//  The main settings sheet, run modally on the test thread and driven from a driver thread
//  against the real tool core, the store in the prefix and a stand-in for the service's pipe:
//  what OK, Apply, Cancel and the export store, ask and send, and what its pages show, refuse
//  and write.
//
#include "core/tests/stick_entry.h"
#include "classlib/ScopedRegKey.h"
#include "core/store/InstallSettingTransfer.h"
#include "core/model/ImportTimeRecord.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/tests/product_key_support.h"
#include "tool/FormatLocalTime.h"
#include "tool/PasswordVerifier.h"
#include "tool/SettingToolCore.h"
#include "tool/resource.h"
#include "tool/sheet/CMainSheet.h"
#include "tool/tests/exit_windows_interpose.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/sheet_driver.h"
#include "tool/tests/test_files.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using sheettest::AnswerMessageBox;
using sheettest::kApplyNow;
using sheettest::ShowPage;

using tooltest::ReadBytes;
using tooltest::TempFolder;
using tooltest::WriteBytes;

namespace {

const FileKeySource kKeys(StoreConstants::kFileKeyMaterial);
const wchar_t* const kExplorerPolicies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

// Control on, one entry, block the rest, portable devices and CD/DVD writing blocked.
Quelmar::SettingV3 InstalledSetting()
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.whitelist = {StickEntry(0x1234, 0x0001, L"OLD", Quelmar::WhitelistFullAccess)};
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = 1;
    setting.blockCdWriting = 1;
    setting.blockInternalSd = 0;
    return setting;
}

Quelmar::PasswordData PasswordOnly(const wchar_t* password)
{
    Quelmar::PasswordData data;
    data.passwordSet = 1;
    Quelmar::PasswordDigest digest(2);
    digest.Compute(password);
    data.passwordDigest = digest.bytes;
    return data;
}

Quelmar::SettingV3 StoredSetting()
{
    Quelmar::SettingV3 setting;
    EXPECT_EQ(Quelmar::LoadSettingFileV3(setting, kKeys), 1);
    return setting;
}

Quelmar::PasswordData StoredPassword()
{
    Quelmar::PasswordData data;
    EXPECT_EQ(Quelmar::SettingStore::LoadPasswordData(data), 1);
    return data;
}

// The sheet as Windows' property sheet runs it: once every page has taken PSM_APPLY, the
// system disables Apply and forgets which pages had changed, as after a click on Apply.
// Wine's sheet leaves both as they were, which would hide a sheet that loses the user's
// unapplied edits after a failed store.
class WindowsAppliedSheet : public CMainSheet {
public:
    using CMainSheet::CMainSheet;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message != PSM_APPLY) {
            return CMainSheet::OnWndMsg(message, wParam, lParam, result);
        }
        *result = Default();
        if (*result) {
            for (int index = 0; index < GetPageCount(); ++index) {
                HWND page = reinterpret_cast<HWND>(::SendMessageW(m_hWnd, PSM_INDEXTOHWND, index, 0));
                if (page != nullptr) {
                    ::SendMessageW(m_hWnd, PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
                }
            }
            ::EnableWindow(GetDlgItem(kApplyNow), FALSE);
        }
        return TRUE;
    }
};

class MainSheet : public ::testing::Test {
protected:
    void SetUp() override
    {
        Forget();
        SetNoCdBurning(1);
        service_ = std::make_unique<FakeServicePipe>();
        uiThread_ = GetCurrentThreadId();
        exitCallsBefore_ = tooltest::ExitWindowsCalls();
    }
    void TearDown() override
    {
        core_.Disconnect();
        Forget();
    }

    static void Forget()
    {
        producttest::DeleteProductKey();
        DeleteFileW(Quelmar::GetSettingFilePath());
        DeleteFileW(Quelmar::GetImportedFilePath());
    }
    static void SetNoCdBurning(DWORD value)
    {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kExplorerPolicies, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, L"NoCDBurning", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value)),
                  ERROR_SUCCESS);
    }
    // Stores both records the way the tool stores them, then starts the core over them.
    void Install(const Quelmar::SettingV3& setting, const Quelmar::PasswordData& password)
    {
        ASSERT_EQ(Quelmar::SettingStore::SaveSettingFile(kKeys, setting), 1);
        ASSERT_EQ(Quelmar::SettingStore::SavePasswordData(password), 1);
        Connect();
    }
    void Connect()
    {
        ASSERT_EQ(core_.Connect(), Quelmar::kConnected);
        ASSERT_TRUE(service_->WaitForCommands(1, 5000));
    }
    // The pipe commands after the start's version request.
    std::vector<DWORD> CommandsSinceStart()
    {
        std::vector<DWORD> codes = service_ ? service_->Codes() : std::vector<DWORD>();
        if (!codes.empty() && codes.front() == 1) {
            codes.erase(codes.begin());
        }
        return codes;
    }

    // Runs the sheet while script acts on it; a sheet the script left open is cancelled.
    INT_PTR RunSheet(const std::function<void(HWND)>& script)
    {
        WindowsAppliedSheet sheet(core_);
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread_, kApplyNow, 10000, true);
            if (window == nullptr) {
                return;
            }
            script(window);
            if (!ui::WaitUntil([&] { return !IsWindow(window); }, 3000)) {
                CloseLeftovers(window);
            }
        });
        return sheet.DoModal();
    }

    // Ends what a failing script left open (boxes, dialogs above the sheet, the sheet), so
    // that the test fails instead of hanging.
    void CloseLeftovers(HWND sheet)
    {
        for (int round = 0; round < 5 && IsWindow(sheet); ++round) {
            AnswerMessageBox(IDOK, 200);
            HWND dialog = nullptr;
            while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
                if (dialog != sheet && GetWindowThreadProcessId(dialog, nullptr) == uiThread_ &&
                    IsWindowVisible(dialog)) {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                }
            }
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            ui::WaitUntil([&] { return !IsWindow(sheet); }, 1000);
        }
    }

    Quelmar::SettingToolCore core_;
    std::unique_ptr<FakeServicePipe> service_;
    DWORD uiThread_ = 0;
    unsigned exitCallsBefore_ = 0;
};

}  // namespace

TEST_F(MainSheet, EditsOnEveryPageAreStoredOnApplyAndReloadedOnce)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    TempFolder folder;
    const std::wstring csv = folder.File(L"list.csv");
    WriteBytes(csv, "1,1,0x0781,1,0x5567,1,AAAA,0,,0,\r\n"
                    "0,0,0x0000,0,0x0000,0,,0,,0\r\n"
                    "0,1,0x0951,0,0x1666,1,001A,0,,0,\r\n"
                    "0,1,-1,0,,0,,0,,0,\r\n"
                    "0,0,,0,,1,\x90\xbb\x91\xa2,0,,0,\r\n");

    std::wstring importQuestion, summary, restartQuestion, cancelQuestion;
    std::vector<std::wstring> rows;
    bool fileChosen = false;
    bool applyEnabledByImport = true;
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND general = ShowPage(sheet, 0);
        ui::Click(general, IDC_CSV_IMPORT);
        importQuestion = AnswerMessageBox(IDYES);
        fileChosen = sheettest::ChooseFile(uiThread_, csv);
        summary = AnswerMessageBox(IDOK, 10000);
        ui::WaitUntil([&] { return ui::ListRows(GetDlgItem(general, IDC_WHITELIST)).size() == 3; }, 5000);
        applyEnabledByImport = sheettest::IsEnabled(sheet, kApplyNow);

        ui::Click(general, IDC_WHITELIST_ADD);
        HWND entry = ui::WaitForDialog(uiThread_, IDC_USE_VENDOR_ID, 8000, true);
        if (entry != nullptr) {
            ui::SetItemText(entry, IDC_VENDOR_ID, L"0781");
            ui::SetItemText(entry, IDC_PRODUCT_ID, L"5567");
            ui::SetItemText(entry, IDC_SERIAL, L"4C53");
            sheettest::SetCheck(entry, IDC_READ_ONLY, true);
            ui::Click(entry, IDOK);
            ui::WaitUntil([&] { return !IsWindow(entry); }, 5000);
        }
        sheettest::SetCheck(general, IDC_BLOCK_CD_WRITING, false);
        rows = ui::ListRows(GetDlgItem(general, IDC_WHITELIST));
        ui::SaveScreenshot(sheet, L"main_sheet_general");

        HWND password = ShowPage(sheet, 1);
        sheettest::TypeText(password, IDC_PASSWORD, L"Qevrin!1");
        sheettest::TypeText(password, IDC_PASSWORD_CONFIRM, L"Qevrin!1");
        ui::SaveScreenshot(sheet, L"main_sheet_password");
        ShowPage(sheet, 2);
        ui::SaveScreenshot(sheet, L"main_sheet_import");
        ShowPage(sheet, 3);
        ui::SaveScreenshot(sheet, L"main_sheet_about");

        ui::Click(sheet, kApplyNow);
        restartQuestion = AnswerMessageBox(IDNO, 10000);
        ui::Click(sheet, IDCANCEL);
        cancelQuestion = AnswerMessageBox(IDNO, 10000);
    });

    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(importQuestion, Loaded(IDS_CSV_IMPORT_REPLACES));
    EXPECT_TRUE(fileChosen);
    const std::vector<std::wstring> logs = folder.Files(L"err");
    ASSERT_EQ(logs.size(), 1u);
    const std::wstring log = folder.File(logs[0].c_str());
    EXPECT_NE(summary.find(L"2行目："), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"4行目："), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(log), std::wstring::npos) << summary;
    // Two lines in CP932 ("行目" is 8D 73 96 DA).
    EXPECT_EQ(ReadBytes(log), "2\x8d\x73\x96\xda\x81\x46" "0,0,0x0000,0,0x0000,0,,0,,0\r\n"
                              "4\x8d\x73\x96\xda\x81\x46" "0,1,-1,0,,0,,0,,0,\r\n");
    // The imported rows are compared on the next apply; the import alone marks nothing.
    EXPECT_FALSE(applyEnabledByImport);
    EXPECT_EQ(rows.size(), 4u);

    const Quelmar::SettingV3 stored = StoredSetting();
    ASSERT_EQ(stored.whitelist.size(), 4u);
    EXPECT_EQ(stored.whitelist[0].serialNumber, L"AAAA");
    EXPECT_EQ(stored.whitelist[0].attribute, Quelmar::WhitelistReadOnly);
    EXPECT_EQ(stored.whitelist[1].productId, 0x1666);
    EXPECT_EQ(stored.whitelist[1].useProductId, 0);
    EXPECT_EQ(stored.whitelist[1].attribute, Quelmar::WhitelistFullAccess);
    EXPECT_EQ(stored.whitelist[2].serialNumber, L"製造");
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(stored.whitelist[3],
                                               StickEntry(0x0781, 0x5567, L"4C53", Quelmar::WhitelistReadOnly)));
    EXPECT_EQ(stored.blockCdWriting, 0);
    EXPECT_EQ(stored.blockPortableDevices, 1);
    EXPECT_EQ(stored.usbControlEnabled, 1);

    // MD5 over the UTF-16LE bytes of "Qevrin!1".
    const std::vector<BYTE> digest = {0xE8, 0x7C, 0x9B, 0x21, 0xCB, 0xE4, 0x09, 0x15,
                                      0x32, 0xCF, 0x08, 0x61, 0xC2, 0xA8, 0x86, 0x0D};
    EXPECT_EQ(StoredPassword().passwordDigest, digest);
    EXPECT_EQ(StoredPassword().passwordSet, 1);

    EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));
    EXPECT_EQ(restartQuestion, Loaded(IDS_RESTART_FOR_CD_POLICY));
    // The applied change still differs from the policy, so Cancel asks again.
    EXPECT_EQ(cancelQuestion, Loaded(IDS_RESTART_FOR_CD_POLICY));
    EXPECT_EQ(tooltest::ExitWindowsCalls(), exitCallsBefore_);
}

TEST_F(MainSheet, ExportWritesTheEditedValuesAndStoresNothing)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    TempFolder folder;
    bool folderChosen = false;
    bool applyEnabledAfter = false;
    bool sheetEnabledDuringChoice = true;
    bool sheetEnabledAfter = false;
    std::wstring exportMessage;
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND general = ShowPage(sheet, 0);
        sheettest::SetCheck(general, IDC_BLOCK_PORTABLE, false);
        HWND import = ShowPage(sheet, 2);
        sheettest::SetCheck(import, IDC_IMPORT_AT_START, true);
        sheettest::TypeText(import, IDC_IMPORT_PATH, L"C:\\share\\setting.dat");
        ui::Click(sheet, IDC_EXPORT_SETTING);
        // The folder choice has no owner: the sheet itself must take no input meanwhile.
        sheettest::WaitForFolderDialog(uiThread_);
        sheetEnabledDuringChoice = IsWindowEnabled(sheet) != FALSE;
        folderChosen = sheettest::ChooseFolder(uiThread_, folder.Path());
        sheetEnabledAfter = ui::WaitUntil([&] { return IsWindowEnabled(sheet) != FALSE; }, 3000);
        ui::WaitUntil([&] { return !folder.Files(L"QEVRIN").empty(); }, 5000);
        exportMessage = AnswerMessageBox(IDOK, 200);
        applyEnabledAfter = sheettest::IsEnabled(sheet, kApplyNow);
        ui::Click(sheet, IDCANCEL);
    });

    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(folderChosen);
    EXPECT_FALSE(sheetEnabledDuringChoice);
    EXPECT_TRUE(sheetEnabledAfter);
    EXPECT_EQ(exportMessage, L"");
    EXPECT_TRUE(applyEnabledAfter);
    Quelmar::PasswordData password;
    Quelmar::SettingV3 exported;
    Quelmar::SettingTimeStamp stamp, exportTime;
    ASSERT_EQ(Quelmar::LoadInstallSettingFile(folder.File(L"QEVRINInstallSetting.dat").c_str(), password, exported,
                                              stamp, exportTime),
              0);
    EXPECT_EQ(exported.blockPortableDevices, 0);
    EXPECT_EQ(exported.autoImport.importAtStart, 1);
    EXPECT_EQ(exported.autoImport.importPath, L"C:\\share\\setting.dat");
    EXPECT_TRUE(Quelmar::EqualWhitelists(exported.whitelist, InstalledSetting().whitelist));
    EXPECT_EQ(password.passwordDigest, PasswordOnly(L"secret").passwordDigest);
    // Nothing was stored and the service was not asked.
    EXPECT_EQ(StoredSetting().blockPortableDevices, 1);
    EXPECT_EQ(StoredSetting().autoImport.importAtStart, 0);
    EXPECT_TRUE(CommandsSinceStart().empty());
}

// An export takes the pages' values into the edited records without storing them; a value
// put back afterwards must not be stored from there on OK.
TEST_F(MainSheet, ValueRevertedAfterAnExportIsNotStoredOnOk)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND general = ShowPage(sheet, 0);
        sheettest::SetCheck(general, IDC_BLOCK_PORTABLE, false);
        ui::Click(sheet, IDC_EXPORT_SETTING);
        sheettest::ChooseFolder(uiThread_, L"");
        sheettest::SetCheck(general, IDC_BLOCK_PORTABLE, true);
        ui::Click(sheet, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(StoredSetting().blockPortableDevices, 1);
    EXPECT_TRUE(CommandsSinceStart().empty());
}

// A failed save or reload leaves the edits to apply: Apply stays enabled, also when another
// page takes its own change back, and OK stays open; once the cause is gone, Apply stores
// what was not stored and asks the service until it has answered.
TEST_F(MainSheet, FailedApplyKeepsTheEditsApplicableUntilItSucceeds)
{
    const struct {
        const char* name;
        bool saveFails;
        UINT message;
    } cases[] = {
        {"service gone", false, IDS_CANNOT_CHANGE_SETTING},
        {"setting file not writable", true, IDS_CANNOT_SAVE_SETTING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        // One server at a time: the pipe has a single instance.
        service_.reset();
        service_ = std::make_unique<FakeServicePipe>();
        Install(InstalledSetting(), PasswordOnly(L"secret"));
        const std::wstring settingFile = Quelmar::GetSettingFilePath().GetString();
        if (c.saveFails) {
            ASSERT_TRUE(DeleteFileW(settingFile.c_str()));
            ASSERT_TRUE(CreateDirectoryW(settingFile.c_str(), nullptr));
        } else {
            service_.reset();
        }
        std::wstring afterApply, afterOk;
        bool openAfterOk = false, applyEnabledAfterFailure = false, applyKeptByTheGeneralPage = false;
        bool appliedOnRetry = false;
        RunSheet([&](HWND sheet) {
            sheettest::SetCheck(ShowPage(sheet, 0), IDC_BLOCK_PORTABLE, false);
            ui::Click(sheet, kApplyNow);
            afterApply = AnswerMessageBox(IDOK, 10000);
            ui::Click(sheet, IDOK);
            afterOk = AnswerMessageBox(IDOK, 10000);
            openAfterOk = !ui::WaitUntil([&] { return !IsWindow(sheet); }, 500);
            applyEnabledAfterFailure = sheettest::IsEnabled(sheet, kApplyNow);
            HWND import = ShowPage(sheet, 2);
            sheettest::SetCheck(import, IDC_IMPORT_AT_START, true);
            sheettest::SetCheck(import, IDC_IMPORT_AT_START, false);
            applyKeptByTheGeneralPage = sheettest::IsEnabled(sheet, kApplyNow);

            if (c.saveFails) {
                RemoveDirectoryW(settingFile.c_str());
            } else {
                service_ = std::make_unique<FakeServicePipe>();
            }
            ui::Click(sheet, kApplyNow);
            appliedOnRetry = ui::WaitUntil([&] { return !sheettest::IsEnabled(sheet, kApplyNow); }, 10000);
            ui::Click(sheet, IDCANCEL);
        });
        RemoveDirectoryW(settingFile.c_str());
        EXPECT_EQ(afterApply, Loaded(c.message));
        EXPECT_EQ(afterOk, Loaded(c.message));
        EXPECT_TRUE(openAfterOk);
        EXPECT_TRUE(applyEnabledAfterFailure);
        EXPECT_TRUE(applyKeptByTheGeneralPage);
        EXPECT_TRUE(appliedOnRetry);
        EXPECT_EQ(StoredSetting().blockPortableDevices, 0);
        EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));
        core_.Disconnect();
    }
}

// An import whose rows cannot all go in, and after which the list's own rows cannot all come
// back, leaves the list short: the user is told, and OK stores nothing until an import fills
// the list again.
TEST_F(MainSheet, ListThatAnImportLeftShortIsNotStoredUntilAnImportFillsIt)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    TempFolder folder;
    const std::wstring csv = folder.File(L"list.csv");
    ASSERT_TRUE(WriteBytes(csv, "0,1,0x0781,1,0x5567,1,NEW1,0,,0,\r\n0,1,0x0781,1,0x5567,1,NEW2,0,,0,\r\n"));
    std::wstring lost, refused;
    size_t shortRows = 99;
    bool openAfterOk = false;
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND general = ShowPage(sheet, 0);
        HWND list = GetDlgItem(general, IDC_WHITELIST);
        // The second row fails, and so does the earlier row on its way back.
        lost = sheettest::ImportWhileTheListRunsOutOfMemory(uiThread_, general, csv, 2);
        shortRows = ui::ListRows(list).size();
        ui::Click(sheet, IDOK);
        refused = AnswerMessageBox(IDOK, 10000);
        openAfterOk = !ui::WaitUntil([&] { return !IsWindow(sheet); }, 500);
        ui::Click(general, IDC_CSV_IMPORT);
        AnswerMessageBox(IDYES);
        sheettest::ChooseFile(uiThread_, csv);
        ui::WaitUntil([&] { return ui::ListRows(list).size() == 2 && IsWindowEnabled(sheet); }, 10000);
        ui::Click(sheet, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(lost, Loaded(IDS_CSV_ROWS_LOST));
    EXPECT_EQ(shortRows, 0u);
    EXPECT_EQ(refused, Loaded(IDS_CSV_ROWS_LOST));
    EXPECT_TRUE(openAfterOk);
    const Quelmar::SettingV3 stored = StoredSetting();
    ASSERT_EQ(stored.whitelist.size(), 2u);
    EXPECT_EQ(stored.whitelist[1].serialNumber, L"NEW2");
    EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));
}

TEST_F(MainSheet, FirstRunStoresEverythingOnceThenNothingWithoutAChange)
{
    Connect();
    ASSERT_EQ(*core_.IsSetupDone(), 0);
    EXPECT_EQ(RunSheet([&](HWND sheet) { ui::Click(sheet, IDOK); }), IDOK);
    EXPECT_EQ(*core_.IsSetupDone(), 1);
    EXPECT_EQ(StoredSetting().usbControlEnabled, 1);
    EXPECT_EQ(StoredPassword().passwordSet, 0);
    EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));

    EXPECT_EQ(RunSheet([&](HWND sheet) { ui::Click(sheet, IDOK); }), IDOK);
    EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));
}

TEST_F(MainSheet, OnlyTheInternalSdSwitchChangedIsStoredAndReloaded)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    EXPECT_EQ(RunSheet([&](HWND sheet) {
                  sheettest::SetCheck(ShowPage(sheet, 0), IDC_BLOCK_INTERNAL_SD, true);
                  ui::Click(sheet, IDOK);
              }),
              IDOK);
    EXPECT_EQ(StoredSetting().blockInternalSd, 1);
    EXPECT_EQ(CommandsSinceStart(), (std::vector<DWORD>{2}));
}

TEST_F(MainSheet, GeneralPageEnablesByControlAndRows)
{
    Quelmar::SettingV3 off = InstalledSetting();
    off.usbControlEnabled = 0;
    off.whitelist.clear();
    Install(off, PasswordOnly(L"secret"));
    const int edited[] = {IDC_WHITELIST,     IDC_WHITELIST_ADD,     IDC_WHITELIST_EDIT,   IDC_WHITELIST_DELETE,
                          IDC_OUTSIDE_BLOCK, IDC_OUTSIDE_READ_ONLY, IDC_BLOCK_PORTABLE,   IDC_BLOCK_CD_WRITING,
                          IDC_BLOCK_INTERNAL_SD};
    bool anyEditedEnabledWhenOff = true, csvEnabledWhenOff = false, blockAllShown = false, sdUnchecked = false;
    bool exportEnabledWhenOnAndEmpty = true, exportEnabledWithARow = false, editEnabledWithoutSelection = true;
    bool editEnabledWithSelection = false;
    std::wstring cancelQuestion;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        anyEditedEnabledWhenOff = false;
        for (int id : edited) {
            anyEditedEnabledWhenOff = anyEditedEnabledWhenOff || sheettest::IsEnabled(page, id);
        }
        csvEnabledWhenOff = sheettest::IsEnabled(page, IDC_CSV_IMPORT) && sheettest::IsEnabled(page, IDC_CSV_EXPORT);
        blockAllShown = sheettest::IsChecked(page, IDC_OUTSIDE_BLOCK) && !sheettest::IsChecked(page, IDC_OUTSIDE_READ_ONLY);
        sdUnchecked = !sheettest::IsChecked(page, IDC_BLOCK_INTERNAL_SD);

        sheettest::SetCheck(page, IDC_USB_CONTROL, true);
        ui::WaitUntil([&] { return sheettest::IsEnabled(page, IDC_WHITELIST_ADD); }, 3000);
        exportEnabledWhenOnAndEmpty = sheettest::IsEnabled(page, IDC_CSV_EXPORT);
        ui::Click(page, IDC_WHITELIST_ADD);
        HWND entry = ui::WaitForDialog(uiThread_, IDC_USE_VENDOR_ID, 8000, true);
        if (entry != nullptr) {
            ui::SetItemText(entry, IDC_VENDOR_ID, L"0781");
            ui::SetItemText(entry, IDC_PRODUCT_ID, L"5567");
            ui::SetItemText(entry, IDC_SERIAL, L"ROW1");
            ui::Click(entry, IDOK);
            ui::WaitUntil([&] { return !IsWindow(entry); }, 5000);
        }
        exportEnabledWithARow = ui::WaitUntil([&] { return sheettest::IsEnabled(page, IDC_CSV_EXPORT); }, 3000);
        editEnabledWithoutSelection = sheettest::IsEnabled(page, IDC_WHITELIST_EDIT);
        ui::SelectRow(GetDlgItem(page, IDC_WHITELIST), 0);
        editEnabledWithSelection = ui::WaitUntil(
            [&] { return sheettest::IsEnabled(page, IDC_WHITELIST_EDIT) && sheettest::IsEnabled(page, IDC_WHITELIST_DELETE); },
            3000);
        ui::Click(sheet, IDCANCEL);
        cancelQuestion = AnswerMessageBox(IDNO);
    });
    // Control off wants CD/DVD writing allowed while the policy blocks it.
    EXPECT_EQ(cancelQuestion, Loaded(IDS_RESTART_FOR_CD_POLICY));
    EXPECT_FALSE(anyEditedEnabledWhenOff);
    EXPECT_TRUE(csvEnabledWhenOff);
    EXPECT_TRUE(blockAllShown);
    EXPECT_TRUE(sdUnchecked);
    EXPECT_FALSE(exportEnabledWhenOnAndEmpty);
    EXPECT_TRUE(exportEnabledWithARow);
    EXPECT_FALSE(editEnabledWithoutSelection);
    EXPECT_TRUE(editEnabledWithSelection);
    EXPECT_EQ(StoredSetting().usbControlEnabled, 0);
}

TEST_F(MainSheet, PasswordPageRefusesUntilThePairMatchesAndAKeyIsChosen)
{
    Install(InstalledSetting(), Quelmar::PasswordData());
    struct Step {
        const wchar_t* password;
        const wchar_t* confirmation;
        bool keyDevice;
        UINT expected;
    };
    const Step steps[] = {
        {L"", L"", false, IDS_PASSWORD_REQUIRED},
        {L"", L"abc", false, IDS_PASSWORD_REQUIRED},
        {L"abc", L"abd", false, IDS_PASSWORD_MISMATCH},
        {L"abc", L"ABC", false, IDS_PASSWORD_MISMATCH},
        {L"abc", L"abc", true, IDS_SELECT_USB_DEVICE},
    };
    std::vector<std::wstring> messages;
    std::vector<bool> stayedOnPage;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        sheettest::SetCheck(page, IDC_SET_PASSWORD, true);
        for (const Step& step : steps) {
            sheettest::TypeText(page, IDC_PASSWORD, step.password);
            sheettest::TypeText(page, IDC_PASSWORD_CONFIRM, step.confirmation);
            sheettest::SetCheck(page, IDC_USE_KEY_DEVICE, step.keyDevice);
            ui::Click(sheet, IDOK);
            messages.push_back(AnswerMessageBox(IDOK));
            stayedOnPage.push_back(IsWindow(sheet) && IsWindowVisible(page));
        }
        ui::Click(sheet, IDCANCEL);
    });
    ASSERT_EQ(messages.size(), std::size(steps));
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i], Loaded(steps[i].expected)) << i;
        EXPECT_TRUE(stayedOnPage[i]) << i;
    }
    EXPECT_EQ(StoredPassword().passwordSet, 0);
    EXPECT_TRUE(CommandsSinceStart().empty());
}

TEST_F(MainSheet, PasswordPageShowsTheStoredKeyAndStoresModeZeroWithOneProtection)
{
    Quelmar::PasswordData both = PasswordOnly(L"secret");
    both.keyDeviceSet = 1;
    both.keyDevice.vendorId = 0xAB;
    both.keyDevice.productId = 0x1C;
    both.keyDevice.serialNumber = L"k1X";
    both.unlockMode = Quelmar::UnlockModeBoth;
    Install(InstalledSetting(), both);
    std::wstring vendor, product, serial;
    bool bothChecked = false, radiosEnabled = false, radiosEnabledAfter = true;
    std::wstring passwordTextAfter = L"?";
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        vendor = ui::ItemText(page, IDC_KEY_VENDOR_ID);
        product = ui::ItemText(page, IDC_KEY_PRODUCT_ID);
        serial = ui::ItemText(page, IDC_KEY_SERIAL);
        bothChecked = sheettest::IsChecked(page, IDC_UNLOCK_BOTH);
        radiosEnabled = sheettest::IsEnabled(page, IDC_UNLOCK_EITHER) && sheettest::IsEnabled(page, IDC_UNLOCK_BOTH);
        sheettest::TypeText(page, IDC_PASSWORD, L"typed");
        sheettest::SetCheck(page, IDC_SET_PASSWORD, false);
        radiosEnabledAfter = sheettest::IsEnabled(page, IDC_UNLOCK_EITHER) || sheettest::IsEnabled(page, IDC_UNLOCK_BOTH);
        ui::Click(sheet, kApplyNow);
        ui::WaitUntil([&] { return !sheettest::IsEnabled(sheet, kApplyNow); }, 3000);
        passwordTextAfter = ui::ItemText(page, IDC_PASSWORD);
        ui::Click(sheet, IDCANCEL);
    });
    EXPECT_EQ(vendor, L"0x00AB");
    EXPECT_EQ(product, L"0x001C");
    EXPECT_EQ(serial, L"k1X");
    EXPECT_TRUE(bothChecked);
    EXPECT_TRUE(radiosEnabled);
    EXPECT_FALSE(radiosEnabledAfter);
    EXPECT_EQ(passwordTextAfter, L"");
    const Quelmar::PasswordData stored = StoredPassword();
    EXPECT_EQ(stored.passwordSet, 0);
    EXPECT_TRUE(stored.passwordDigest.empty());
    EXPECT_EQ(stored.keyDeviceSet, 1);
    EXPECT_EQ(stored.keyDevice.serialNumber, L"k1X");
    EXPECT_EQ(stored.unlockMode, Quelmar::UnlockModeUnset);
}

TEST_F(MainSheet, ImportPageShowsTheLastImportAndRefusesAnImportWithoutAFile)
{
    Install(InstalledSetting(), PasswordOnly(L"secret"));
    Quelmar::ImportTimeRecord record;
    record.exportTime.time = 1700000000;
    record.importTime.time = 1700003600;
    ASSERT_EQ(Quelmar::SettingStore::SaveImportTime(record, kKeys), 1);
    std::wstring shown, refusal;
    bool stayed = false;
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        shown = ui::ItemText(page, IDC_IMPORT_TIME);
        sheettest::SetCheck(page, IDC_IMPORT_AT_START, true);
        ui::Click(sheet, IDOK);
        refusal = AnswerMessageBox(IDOK);
        stayed = reinterpret_cast<HWND>(ui::SendWithin(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) == page;
        sheettest::TypeText(page, IDC_IMPORT_PATH, L"D:\\QEVRINInstallSetting.dat");
        ui::Click(sheet, IDOK);
    });
    EXPECT_EQ(shown, FormatLocalTime(L"%Y/%m/%d %H:%M:%S", 1700003600).GetString());
    EXPECT_EQ(refusal, Loaded(IDS_ENTER_SETTING_FILE));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(StoredSetting().autoImport.importAtStart, 1);
    EXPECT_EQ(StoredSetting().autoImport.importPath, L"D:\\QEVRINInstallSetting.dat");
    EXPECT_EQ(StoredSetting().blockPortableDevices, 1);
}
