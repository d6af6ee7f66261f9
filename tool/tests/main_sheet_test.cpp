//
//  The main settings sheet, run modally on the test thread and driven from a driver thread
//  against the real tool core, the store in the prefix and a stand-in for the service's pipe:
//  what OK, Apply, Cancel and the export store, ask and send, and what its pages show, refuse
//  and write.
//
#include "classlib/ScopedRegKey.h"
#include "core/store/InstallSettingTransfer.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "tool/PasswordVerifier.h"
#include "tool/SettingToolCore.h"
#include "tool/resource.h"
#include "tool/sheet/CMainSheet.h"
#include "tool/tests/exit_windows_interpose.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/sheet_driver.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using sheettest::AnswerMessageBox;
using sheettest::kApplyNow;
using sheettest::ShowPage;

namespace {

const FileKeySource kKeys(StoreConstants::kFileKeyMaterial);
const wchar_t* const kExplorerPolicies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

Quelmar::WhitelistEntry Entry(WORD vid, WORD pid, const wchar_t* serial, int attribute)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = vid;
    entry.productId = pid;
    entry.serialNumber = serial;
    entry.useVendorId = entry.useProductId = entry.useSerialNumber = 1;
    entry.attribute = attribute;
    return entry;
}

// Control on, one entry, block the rest, portable devices and CD/DVD writing blocked.
Quelmar::SettingV3 InstalledSetting()
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.whitelist = {Entry(0x1234, 0x0001, L"OLD", Quelmar::WhitelistFullAccess)};
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

// A folder of its own under the temporary folder, removed with what it holds.
class TempFolder {
public:
    TempFolder()
    {
        WCHAR base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"qevrin-sheet-" + std::to_wstring(GetTickCount());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder()
    {
        WIN32_FIND_DATAW data = {};
        HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW(File(data.cFileName).c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
    // The first file whose name starts with prefix.
    std::wstring Find(const wchar_t* prefix) const
    {
        WIN32_FIND_DATAW data = {};
        HANDLE find = FindFirstFileW((path_ + L"\\" + prefix + L"*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            return std::wstring();
        }
        FindClose(find);
        return File(data.cFileName);
    }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

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
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath);
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
        CMainSheet sheet(core_);
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread_, kApplyNow, 10000, true);
            if (window == nullptr) {
                return;
            }
            script(window);
            if (!ui::WaitUntil([&] { return !IsWindow(window); }, 3000)) {
                AnswerMessageBox(IDOK, 200);
                PostMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            }
        });
        return sheet.DoModal();
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
    const INT_PTR result = RunSheet([&](HWND sheet) {
        HWND general = ShowPage(sheet, 0);
        ui::Click(general, IDC_CSV_IMPORT);
        importQuestion = AnswerMessageBox(IDYES);
        fileChosen = sheettest::ChooseFile(uiThread_, csv);
        summary = AnswerMessageBox(IDOK, 10000);
        ui::WaitUntil([&] { return ui::ListRows(GetDlgItem(general, IDC_WHITELIST)).size() == 3; }, 5000);

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
        ui::SaveScreenshot(ShowPage(sheet, 2), L"main_sheet_import_page");
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
    const std::wstring log = folder.Find(L"err");
    ASSERT_FALSE(log.empty());
    EXPECT_NE(summary.find(L"2行目："), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"4行目："), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(log), std::wstring::npos) << summary;
    // Two lines in CP932 ("行目" is 8D 73 96 DA).
    EXPECT_EQ(ReadBytes(log), "2\x8d\x73\x96\xda\x81\x46" "0,0,0x0000,0,0x0000,0,,0,,0\r\n"
                              "4\x8d\x73\x96\xda\x81\x46" "0,1,-1,0,,0,,0,,0,\r\n");
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
                                               Entry(0x0781, 0x5567, L"4C53", Quelmar::WhitelistReadOnly)));
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
