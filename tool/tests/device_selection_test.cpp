//
//  The device selection dialog on the simulated PC, driven from a driver thread.
//
#include "tool/CSelectUsbStorageDlg.h"
#include "tool/resource.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/testbed_pcs.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

namespace {

Quelmar::WhitelistEntry ExcludeByIds(WORD vid, WORD pid)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = vid;
    entry.productId = pid;
    entry.useVendorId = 1;
    entry.useProductId = 1;
    entry.attribute = 0;
    return entry;
}

struct Seen {
    std::vector<std::wstring> rows;
    int selected = -1;
    std::wstring vendor;
    std::wstring product;
    std::wstring serial;
    std::wstring maker;
    std::wstring name;
    std::vector<std::wstring> tree;
    bool okEnabled = false;
    std::wstring caption;
    std::wstring label;
};

Seen Look(HWND dialog)
{
    Seen seen;
    HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    seen.rows = ui::ListRows(list);
    seen.selected = ui::SelectedRow(list);
    seen.vendor = ui::ItemText(dialog, IDC_DETAIL_VENDOR_ID);
    seen.product = ui::ItemText(dialog, IDC_DETAIL_PRODUCT_ID);
    seen.serial = ui::ItemText(dialog, IDC_DETAIL_SERIAL);
    seen.maker = ui::ItemText(dialog, IDC_DETAIL_MANUFACTURER);
    seen.name = ui::ItemText(dialog, IDC_DETAIL_PRODUCT);
    seen.tree = ui::TreeTexts(GetDlgItem(dialog, IDC_DEVICE_TREE));
    seen.okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    seen.caption = ui::Text(dialog);
    seen.label = ui::ItemText(dialog, IDC_DEVICE_LIST_LABEL);
    return seen;
}

std::wstring Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

}  // namespace

TEST(DeviceSelection, ListsAttachedStorageButExcludedAndKeepsTheChoiceAcrossARefill)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"AAAA", L'E');
    machine.PlugStick(2, 0x0951, 0x1666, L"BBBB", L'F', L"Kingston", L"DataTraveler");
    machine.PlugStick(3, 0x0781, 0x5580, L"CCCC", L'G');
    FakeServicePipe service;
    const DWORD uiThread = GetCurrentThreadId();

    Seen first;
    Seen second;
    Seen refilled;
    INT_PTR result = 0;
    UsbStorageDevice chosen;
    {
        CSelectUsbStorageDlg dialog;
        dialog.m_mode = CSelectUsbStorageDlg::kUsbStorage;
        dialog.m_excludedEntries = {ExcludeByIds(0x0781, 0x5580)};
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_DEVICE_LIST, 8000, true);
            if (window == nullptr) {
                return;
            }
            HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
            ui::WaitUntil([&] { return ui::ListRows(list).size() == 2 && ui::SelectedRow(list) == 0; }, 5000);
            first = Look(window);
            ui::SaveScreenshot(window, L"device_selection");

            // The administrator picks the second stick ...
            ui::SelectRow(list, 1);
            ui::WaitUntil([&] { return ui::ItemText(window, IDC_DETAIL_SERIAL) == L"BBBB"; }, 5000);
            second = Look(window);

            // ... and a device arrives before OK.
            machine.PlugStick(4, 0x1234, 0x0001, L"DDDD", L'H', L"Maker", L"Other");
            PostMessageW(window, WM_DEVICECHANGE, 0x0007, 0);
            ui::WaitUntil([&] { return ui::ListRows(list).size() == 3; }, 10000);
            Sleep(200);
            refilled = Look(window);
            ui::Click(window, IDOK);
            if (!ui::WaitUntil([&] { return !IsWindow(window); }, 5000)) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
        });
        result = dialog.DoModal();
        chosen = dialog.m_chosenDevice;
    }

    EXPECT_EQ(first.caption, Loaded(IDS_USB_STORAGE));
    EXPECT_EQ(first.label, Loaded(IDS_USB_STORAGE_LIST));
    EXPECT_EQ(first.rows, (std::vector<std::wstring>{L"USB Mass Storage Device", L"USB Mass Storage Device"}));
    EXPECT_EQ(first.selected, 0);
    EXPECT_EQ(first.vendor, L"0x0781");
    EXPECT_EQ(first.product, L"0x5567");
    EXPECT_EQ(first.serial, L"AAAA");
    EXPECT_EQ(first.maker, L"SanDisk");
    EXPECT_EQ(first.name, L"Cruzer");
    EXPECT_EQ(first.tree, (std::vector<std::wstring>{L"USB Mass Storage Device", L"SanDisk Cruzer USB Device",
                                                     L"Generic volume - (E:)"}));
    EXPECT_TRUE(first.okEnabled);

    EXPECT_EQ(second.vendor, L"0x0951");
    EXPECT_EQ(second.tree.back(), L"Generic volume - (F:)");

    EXPECT_EQ(refilled.rows.size(), 3u);
    EXPECT_EQ(refilled.selected, 1);
    EXPECT_EQ(refilled.serial, L"BBBB");

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(chosen.serialNumber, L"BBBB");
    EXPECT_EQ(chosen.vendorId, 0x0951);
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{4, 5}));
}

TEST(DeviceSelection, WithEveryDeviceExcludedTheListAndDetailsAreEmptyAndOkIsOff)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"AAAA", L'E');
    FakeServicePipe service;
    const DWORD uiThread = GetCurrentThreadId();
    Seen seen;
    INT_PTR result = 0;
    {
        CSelectUsbStorageDlg dialog;
        dialog.m_mode = CSelectUsbStorageDlg::kUsbDevices;
        dialog.m_excludedEntries = {ExcludeByIds(0x0781, 0x5567)};
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_DEVICE_LIST, 8000, true);
            if (window == nullptr) {
                return;
            }
            Sleep(300);
            seen = Look(window);
            ui::Click(window, IDCANCEL);
        });
        result = dialog.DoModal();
    }
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(seen.caption, Loaded(IDS_USB_DEVICE));
    EXPECT_EQ(seen.label, Loaded(IDS_USB_DEVICE_LIST));
    EXPECT_TRUE(seen.rows.empty());
    EXPECT_TRUE(seen.tree.empty());
    EXPECT_EQ(seen.vendor, L"");
    EXPECT_FALSE(seen.okEnabled);
}
