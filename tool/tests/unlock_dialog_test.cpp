//
//  The unlock dialog on the simulated PC, driven from a driver thread, with the service's
//  pipe stood in for.
//
#include "tool/CInputPasswordDlg.h"
#include "tool/ToolMessages.h"
#include "tool/resource.h"
#include "tool/tests/fake_service_pipe.h"
#include "tool/tests/testbed_pcs.h"
#include "tool/tests/ui_driver.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Counts the device lists the dialog is told of, so the driver knows one has arrived.
class ObservedUnlockDlg : public CInputPasswordDlg {
public:
    using CInputPasswordDlg::CInputPasswordDlg;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        BOOL handled = CInputPasswordDlg::OnWndMsg(message, wParam, lParam, result);
        if (message == WM_APP_DEVICES_CHANGED) {
            ++lists;
        }
        return handled;
    }
    std::atomic<int> lists{0};
};

Quelmar::PasswordData Protection(int password, int mode)
{
    Quelmar::PasswordData data;
    data.passwordSet = password;
    Quelmar::PasswordDigest digest(2);
    digest.Compute(L"secret");
    data.passwordDigest = digest.bytes;
    data.keyDeviceSet = 1;
    data.keyDevice.vendorId = 0x0781;
    data.keyDevice.productId = 0x5567;
    data.keyDevice.serialNumber = L"4C53ab";
    data.unlockMode = mode;
    return data;
}

CString Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text;
}

// Ends a dialog the script left open, so a failing test fails instead of hanging.
void CloseIfOpen(HWND dialog)
{
    if (ui::IsOpen(dialog)) {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

}  // namespace

TEST(UnlockDialog, KeyAloneUnlocksWithoutEverShowingWhenTheStickIsPlugged)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C53ab", L'E');
    FakeServicePipe service;
    const Quelmar::PasswordData data = Protection(0, 1);
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::atomic<bool> everVisible{false};
    INT_PTR result = 0;
    {
        ui::Driver driver([&] {
            const DWORD start = GetTickCount();
            HWND seen = nullptr;
            while (!done && GetTickCount() - start < 15000) {
                HWND dialog = ui::WaitForDialog(uiThread, IDC_PASSWORD, 0);
                if (dialog != nullptr) {
                    seen = dialog;
                    if (IsWindowVisible(dialog)) {
                        everVisible = true;
                    }
                }
                Sleep(5);
            }
            CloseIfOpen(seen);
        });
        {
            CInputPasswordDlg dialog(&data);
            result = dialog.DoModalHidden();
        }
        done = true;
    }
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(everVisible);
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{4, 5}));
}

TEST(UnlockDialog, PasswordAndKeyInModeTwoNeedTheRightPasswordAndTheExactKey)
{
    tooltest::ToolPc machine;
    FakeServicePipe service;
    const Quelmar::PasswordData data = Protection(1, 2);
    const DWORD uiThread = GetCurrentThreadId();
    ObservedUnlockDlg dialogObject(&data);

    DWORD visibleAfter = 0;
    std::wstring firstMessage;
    std::wstring secondMessage;
    DWORD selectionStart = 99;
    DWORD selectionEnd = 99;
    bool focusOnPassword = false;
    bool closedByItself = false;
    INT_PTR result = 0;
    {
        ui::Driver driver([&] {
            const DWORD start = GetTickCount();
            HWND dialog = ui::WaitForDialog(uiThread, IDC_PASSWORD, 8000, true);
            visibleAfter = GetTickCount() - start;
            if (dialog == nullptr) {
                return;
            }
            ui::SaveScreenshot(dialog, L"unlock_dialog");

            // A wrong password with the key away.
            ui::SetItemText(dialog, IDC_PASSWORD, L"wrong");
            ui::Click(dialog, IDOK);
            HWND box = ui::WaitForMessageBox(uiThread, 5000);
            if (box != nullptr) {
                firstMessage = ui::ItemText(box, 0xFFFF);
                ui::SaveScreenshot(box, L"unlock_wrong_password");
                ui::Click(box, IDOK);
                ui::WaitUntil([&] { return !IsWindow(box); }, 5000);
            }
            SendMessageW(GetDlgItem(dialog, IDC_PASSWORD), EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                         reinterpret_cast<LPARAM>(&selectionEnd));
            GUITHREADINFO info = {};
            info.cbSize = sizeof(info);
            GetGUIThreadInfo(uiThread, &info);
            focusOnPassword = info.hwndFocus == GetDlgItem(dialog, IDC_PASSWORD);

            // A stick whose serial differs only in case is not the key.
            int lists = dialogObject.lists;
            machine.PlugStick(1, 0x0781, 0x5567, L"4C53AB", L'E');
            PostMessageW(dialog, WM_DEVICECHANGE, 0x0007, 0);
            ui::WaitUntil([&] { return dialogObject.lists > lists; }, 10000);
            ui::SetItemText(dialog, IDC_PASSWORD, L"secret");
            ui::Click(dialog, IDOK);
            box = ui::WaitForMessageBox(uiThread, 5000);
            if (box != nullptr) {
                secondMessage = ui::ItemText(box, 0xFFFF);
                ui::Click(box, IDOK);
                ui::WaitUntil([&] { return !IsWindow(box); }, 5000);
            }

            // The key itself, then the right password.
            lists = dialogObject.lists;
            machine.PlugStick(2, 0x0781, 0x5567, L"4C53ab", L'F');
            PostMessageW(dialog, WM_DEVICECHANGE, 0x0007, 0);
            ui::WaitUntil([&] { return dialogObject.lists > lists; }, 10000);
            ui::SetItemText(dialog, IDC_PASSWORD, L"secret");
            ui::Click(dialog, IDOK);
            closedByItself = ui::WaitUntil([&] { return !IsWindow(dialog); }, 5000);
            CloseIfOpen(dialog);
        });
        result = dialogObject.DoModalHidden();
    }
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(closedByItself);
    // Shown at the first device list without the key, well before the 3 s timer.
    EXPECT_LT(visibleAfter, 4000u);
    EXPECT_EQ(firstMessage, Loaded(IDS_UNLOCK_FAILED).GetString());
    EXPECT_EQ(secondMessage, Loaded(IDS_UNLOCK_FAILED).GetString());
    EXPECT_EQ(selectionStart, 0u);
    EXPECT_EQ(selectionEnd, 5u);
    EXPECT_TRUE(focusOnPassword);
    // The exemption lasts as long as the dialog object.
    EXPECT_EQ(service.Codes(), (std::vector<DWORD>{4}));
}

TEST(UnlockDialog, WhileNoDeviceListComesTheTimerShowsTheDialog)
{
    tooltest::ToolPc machine;
    FakeServicePipe service;
    const Quelmar::PasswordData data = Protection(0, 1);
    const DWORD uiThread = GetCurrentThreadId();
    // The enumeration thread's passes are held, so no device list can show the dialog; the
    // first pass, on this thread, goes through.
    ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    machine.pc.beforeRequest = [&](DWORD) {
        if (GetCurrentThreadId() != uiThread) {
            WaitForSingleObject(release.Get(), 20000);
        }
    };
    ObservedUnlockDlg dialog(&data);
    bool shownBeforeAnyList = false;
    INT_PTR result = 0;
    {
        ui::Driver driver([&] {
            HWND window = ui::WaitForDialog(uiThread, IDC_PASSWORD, 8000, true);
            shownBeforeAnyList = window != nullptr && dialog.lists == 0;
            SetEvent(release.Get());
            if (window == nullptr) {
                window = ui::WaitForDialog(uiThread, IDC_PASSWORD, 10000, true);
            }
            if (window != nullptr) {
                ui::Click(window, IDCANCEL);
            }
        });
        result = dialog.DoModalHidden();
    }
    machine.pc.beforeRequest = nullptr;
    EXPECT_TRUE(shownBeforeAnyList);
    EXPECT_EQ(result, IDCANCEL);
}

TEST(UnlockDialog, RefusedExemptionEndsTheDialogAtOnce)
{
    tooltest::ToolPc machine;
    FakeServicePipe service(0);
    const Quelmar::PasswordData data = Protection(0, 1);
    CInputPasswordDlg dialog(&data);
    EXPECT_EQ(dialog.DoModalHidden(), 0);
}
