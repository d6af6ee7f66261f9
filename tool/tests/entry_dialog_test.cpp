//
//  The whitelist entry dialog, driven from a driver thread: what it builds on OK, what it
//  refuses, and what it shows when it edits an entry.
//
#include "tool/CAddUSBStorageDlg.h"
#include "tool/resource.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

namespace {

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

void SetCheck(HWND dialog, int id, bool checked)
{
    ui::SendWithin(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    ui::Click(dialog, id);
}

bool IsChecked(HWND dialog, int id)
{
    return ui::SendWithin(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Closes the message box that OK raised and tells its text; empty when none came.
std::wstring AnswerMessageBox(DWORD uiThread, const wchar_t* screenshot = nullptr)
{
    HWND box = ui::WaitForMessageBox(uiThread, 5000);
    if (box == nullptr) {
        return std::wstring();
    }
    const std::wstring text = ui::ItemText(box, 0xFFFF);
    if (screenshot != nullptr) {
        ui::SaveScreenshot(box, screenshot);
    }
    ui::Click(box, IDOK);
    ui::WaitUntil([&] { return !IsWindow(box); }, 5000);
    return text;
}

bool FocusIs(DWORD uiThread, HWND control)
{
    return ui::WaitUntil(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof(info);
            return GetGUIThreadInfo(uiThread, &info) && info.hwndFocus == control;
        },
        2000);
}

void CloseIfOpen(HWND dialog)
{
    if (ui::WaitUntil([&] { return !IsWindow(dialog); }, 5000)) {
        return;
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

TEST(EntryDialog, AddsAReadOnlyEntryFromTypedIdsAndSerial)
{
    const DWORD uiThread = GetCurrentThreadId();
    std::wstring caption;
    bool startChecks[6] = {};
    bool editsEnabled[5] = {};
    INT_PTR result = 0;
    Quelmar::WhitelistEntry entry;
    {
        CAddUSBStorageDlg dialog;
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_USE_VENDOR_ID, 8000, true);
            if (window == nullptr) {
                return;
            }
            caption = ui::Text(window);
            for (int i = 0; i < 5; ++i) {
                startChecks[i] = IsChecked(window, IDC_USE_VENDOR_ID + i);
                editsEnabled[i] = IsWindowEnabled(GetDlgItem(window, IDC_VENDOR_ID + i)) != FALSE;
            }
            startChecks[5] = IsChecked(window, IDC_READ_ONLY);
            ui::SetItemText(window, IDC_VENDOR_ID, L"0781");
            ui::SetItemText(window, IDC_PRODUCT_ID, L"5567");
            ui::SetItemText(window, IDC_SERIAL, L"4C53");
            SetCheck(window, IDC_READ_ONLY, true);
            ui::WaitUntil([&] { return IsChecked(window, IDC_READ_ONLY); }, 2000);
            ui::SaveScreenshot(window, L"entry_dialog_add");
            ui::Click(window, IDOK);
            CloseIfOpen(window);
        });
        result = dialog.DoModal();
        entry = dialog.m_entry;
    }
    EXPECT_EQ(caption, Loaded(IDS_ADD_CAPTION));
    EXPECT_TRUE(startChecks[0] && startChecks[1] && startChecks[2]);
    EXPECT_FALSE(startChecks[3] || startChecks[4] || startChecks[5]);
    EXPECT_TRUE(editsEnabled[0] && editsEnabled[1] && editsEnabled[2]);
    EXPECT_FALSE(editsEnabled[3] || editsEnabled[4]);

    ASSERT_EQ(result, IDOK);
    Quelmar::WhitelistEntry expected;
    expected.vendorId = 0x0781;
    expected.productId = 0x5567;
    expected.serialNumber = L"4C53";
    expected.useVendorId = expected.useProductId = expected.useSerialNumber = 1;
    expected.attribute = Quelmar::WhitelistReadOnly;
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(entry, expected));
}

// Every refused text keeps the dialog open, names the field and puts the focus on it with the
// text selected; a minus sign is refused because it would wrap to another id.
TEST(EntryDialog, RefusesMalformedIdsAndKeepsTheDialogOpenOnTheField)
{
    struct Case {
        const wchar_t* vendor;
        const wchar_t* product;
        UINT message;
        int field;
    };
    const Case cases[] = {
        {L"-1", L"5567", IDS_BAD_VENDOR_ID, IDC_VENDOR_ID},
        {L"12G", L"5567", IDS_BAD_VENDOR_ID, IDC_VENDOR_ID},
        {L"12345", L"5567", IDS_BAD_VENDOR_ID, IDC_VENDOR_ID},
        {L"", L"5567", IDS_BAD_VENDOR_ID, IDC_VENDOR_ID},
        {L"0781", L"-0x1", IDS_BAD_PRODUCT_ID, IDC_PRODUCT_ID},
        {L"0781", L"0x12F", IDS_BAD_PRODUCT_ID, IDC_PRODUCT_ID},
    };
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<std::wstring> messages;
    std::vector<bool> openAfter;
    std::vector<bool> focused;
    std::vector<DWORD> selectionEnd;
    std::wstring noFieldMessage;
    INT_PTR result = 0;
    Quelmar::WhitelistEntry entry;
    {
        CAddUSBStorageDlg dialog;
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_USE_VENDOR_ID, 8000, true);
            if (window == nullptr) {
                return;
            }
            for (const Case& c : cases) {
                ui::SetItemText(window, IDC_VENDOR_ID, c.vendor);
                ui::SetItemText(window, IDC_PRODUCT_ID, c.product);
                ui::Click(window, IDOK);
                messages.push_back(AnswerMessageBox(uiThread, c.vendor[0] == L'-' ? L"entry_dialog_bad_id" : nullptr));
                openAfter.push_back(IsWindow(window) != FALSE);
                HWND edit = GetDlgItem(window, c.field);
                focused.push_back(FocusIs(uiThread, edit));
                DWORD end = 0;
                SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
                selectionEnd.push_back(end);
            }
            // With no field checked nothing is built.
            for (int i = 0; i < 5; ++i) {
                SetCheck(window, IDC_USE_VENDOR_ID + i, false);
            }
            ui::Click(window, IDOK);
            noFieldMessage = AnswerMessageBox(uiThread);
            // Unchecked fields do not take part, so their bad texts become 0; the prefix
            // counts towards the four characters.
            SetCheck(window, IDC_USE_MANUFACTURER, true);
            ui::SetItemText(window, IDC_VENDOR_ID, L"12G");
            ui::SetItemText(window, IDC_PRODUCT_ID, L"-1");
            ui::SetItemText(window, IDC_MANUFACTURER, L"SanDisk");
            ui::Click(window, IDOK);
            CloseIfOpen(window);
        });
        result = dialog.DoModal();
        entry = dialog.m_entry;
    }
    ASSERT_EQ(messages.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        EXPECT_EQ(messages[i], Loaded(cases[i].message));
        EXPECT_TRUE(openAfter[i]);
        EXPECT_TRUE(focused[i]);
        EXPECT_EQ(selectionEnd[i], wcslen(cases[i].field == IDC_VENDOR_ID ? cases[i].vendor : cases[i].product));
    }
    EXPECT_EQ(noFieldMessage, Loaded(IDS_SELECT_ONE_FIELD));
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(entry.vendorId, 0);
    EXPECT_EQ(entry.productId, 0);
    EXPECT_EQ(entry.manufacturer, L"SanDisk");
    EXPECT_EQ(entry.useManufacturer, 1);
    EXPECT_EQ(entry.useVendorId + entry.useProductId + entry.useSerialNumber + entry.useProduct, 0);
    EXPECT_EQ(entry.attribute, Quelmar::WhitelistFullAccess);
}

TEST(EntryDialog, EditShowsTheEntryAndKeepsItWhenSavedUnchanged)
{
    Quelmar::WhitelistEntry original;
    original.vendorId = 0x00AB;
    original.productId = 0x5567;
    original.serialNumber = L"4C53";
    original.manufacturer = L"Maker";
    original.product = L"Stick";
    original.useVendorId = 1;
    original.useManufacturer = 1;
    original.attribute = Quelmar::WhitelistReadOnly;

    const DWORD uiThread = GetCurrentThreadId();
    std::wstring caption;
    std::wstring vendor;
    std::wstring product;
    bool readOnly = false;
    bool productEnabled = true;
    bool manufacturerEnabled = false;
    INT_PTR result = 0;
    Quelmar::WhitelistEntry saved;
    {
        CAddUSBStorageDlg dialog(original);
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_USE_VENDOR_ID, 8000, true);
            if (window == nullptr) {
                return;
            }
            caption = ui::Text(window);
            vendor = ui::ItemText(window, IDC_VENDOR_ID);
            product = ui::ItemText(window, IDC_PRODUCT_ID);
            readOnly = IsChecked(window, IDC_READ_ONLY);
            productEnabled = IsWindowEnabled(GetDlgItem(window, IDC_PRODUCT_ID)) != FALSE;
            manufacturerEnabled = IsWindowEnabled(GetDlgItem(window, IDC_MANUFACTURER)) != FALSE;
            ui::Click(window, IDOK);
            CloseIfOpen(window);
        });
        result = dialog.DoModal();
        saved = dialog.m_entry;
    }
    EXPECT_EQ(caption, Loaded(IDS_EDIT_CAPTION));
    EXPECT_EQ(vendor, L"00AB");
    EXPECT_EQ(product, L"5567");
    EXPECT_TRUE(readOnly);
    EXPECT_FALSE(productEnabled);
    EXPECT_TRUE(manufacturerEnabled);
    ASSERT_EQ(result, IDOK);
    EXPECT_TRUE(Quelmar::EqualWhitelistEntries(saved, original));
}
