#include "tool/CInputPasswordDlg.h"

#include "classlib/DataExchange.h"
#include "core/system/OSVersion.h"
#include "tool/BringWindowToFront.h"
#include "tool/ISettingToolCore.h"
#include "tool/ToolMessages.h"
#include "tool/resource.h"

namespace {

// On Windows 8.1 and later the driver hides blocked volumes from the tool's own enumeration
// unless the service exempts the tool's process.
bool NeedsExemption()
{
    COSVersion version;
    return version.Is6_3OrLater();
}

constexpr DWORD kUnlockInfoFlags = UsbDeviceEnumerator::INFO_VENDOR_ID | UsbDeviceEnumerator::INFO_PRODUCT_ID |
                                   UsbDeviceEnumerator::INFO_SERIAL;
constexpr DWORD kFirstScanWaitMs = 1000;

}  // namespace

CInputPasswordDlg::CInputPasswordDlg(const Quelmar::PasswordData* passwordData, CWnd* parent)
    : CDialog(IDD_INPUT_PASSWORD, parent), passwordData_(passwordData), verifier_(2, passwordData, &m_password)
{
}

CInputPasswordDlg::~CInputPasswordDlg()
{
    thread_.Stop();
    if (NeedsExemption()) {
        Quelmar::GetSettingToolCore().UnregisterExemptProcess();
    }
}

INT_PTR CInputPasswordDlg::DoModalHidden()
{
    return RunModal(FALSE);
}

void CInputPasswordDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Text(dx, IDC_PASSWORD, m_password);
}

BOOL CInputPasswordDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (passwordData_ != nullptr && passwordData_->keyDeviceSet == 1) {
        if (NeedsExemption() && !Quelmar::GetSettingToolCore().RegisterExemptProcess()) {
            EndDialog(0);
            return FALSE;
        }
        if (!thread_.IsRunning() && thread_.Start(kUnlockInfoFlags, 0)) {
            thread_.Subscribe(m_hWnd);
            const DWORD start = GetTickCount();
            // Unsigned difference: right across the tick count's wrap.
            while (!thread_.RequestScan() && GetTickCount() - start < kFirstScanWaitMs) {
                Sleep(10);
            }
        }
        StartHiddenTimer();
    }
    return TRUE;
}

void CInputPasswordDlg::StartHiddenTimer()
{
    if (revealTimer_ != 0) {
        return;
    }
    revealTimer_ = SetTimer(kRevealTimerId, kRevealDelayMs);
    if (revealTimer_ == 0 && !IsWindowVisible()) {
        CenterWindow();
        ShowWindow(SW_SHOW);
        SetForegroundWindow();
        SetActiveWindow();
    }
}

void CInputPasswordDlg::ShowDialog()
{
    if (revealTimer_ != 0) {
        KillTimer(revealTimer_);
        revealTimer_ = 0;
    }
    if (!IsWindowVisible()) {
        CenterWindow();
        ShowWindow(SW_SHOW);
        SetForegroundWindow();
        SetActiveWindow();
    }
}

void CInputPasswordDlg::OnTimer(UINT_PTR idEvent)
{
    Default();
    if (revealTimer_ != 0 && idEvent == revealTimer_) {
        ShowDialog();
    }
}

LRESULT CInputPasswordDlg::OnDeviceChange(UINT, DWORD_PTR)
{
    if (thread_.IsRunning()) {
        thread_.RequestScan();
    }
    return Default();
}

void CInputPasswordDlg::CopyDevices(std::vector<UsbStorageDevice>& devices)
{
    devices.clear();
    if (thread_.IsRunning()) {
        thread_.GetDevices(devices);
    }
}

LRESULT CInputPasswordDlg::OnDevicesChanged()
{
    std::vector<UsbStorageDevice> devices;
    CopyDevices(devices);
    if (passwordData_ == nullptr || passwordData_->keyDeviceSet != 1) {
        ShowDialog();
        return 0;
    }
    int present = 0;
    if (passwordData_->passwordSet == 1) {
        // With both configured the key alone decides only when either one is enough.
        present = passwordData_->unlockMode == Quelmar::UnlockModeEither ? verifier_.KeyDevicePresent(devices) : 0;
    } else {
        present = verifier_.KeyDevicePresent(devices);
    }
    if (present) {
        EndDialog(IDOK);
    } else {
        ShowDialog();
    }
    return 0;
}

void CInputPasswordDlg::OnOK()
{
    UpdateData(TRUE);
    std::vector<UsbStorageDevice> devices;
    CopyDevices(devices);
    if (verifier_.CanUnlock(devices)) {
        CDialog::OnOK();
        return;
    }
    CString text;
    CString caption;
    text.LoadString(IDS_UNLOCK_FAILED);
    caption.LoadString(IDS_PRODUCT_NAME);
    MessageBox(text, caption, MB_ICONINFORMATION);
    HWND edit = GetDlgItem(IDC_PASSWORD);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    ::SetFocus(edit);
}

BOOL CInputPasswordDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_APP_DEVICES_CHANGED:
        *result = OnDevicesChanged();
        return TRUE;
    case WM_APP_BRING_TO_FRONT:
        BringWindowToFront(m_hWnd);
        *result = 0;
        return TRUE;
    default:
        return CDialog::OnWndMsg(message, wParam, lParam, result);
    }
}
