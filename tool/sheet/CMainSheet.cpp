#include "tool/sheet/CMainSheet.h"

#include "core/system/BrowseForFolder.h"
#include "core/system/WindowsRestart.h"
#include "tool/BringWindowToFront.h"
#include "tool/ToolMessages.h"
#include "tool/resource.h"
#include "tool/sheet/AskRestartForCdPolicy.h"
#include "tool/sheet/CMainAboutPage.h"
#include "tool/sheet/CMainImportPage.h"
#include "tool/sheet/CMainPasswordPage.h"
#include "tool/sheet/CMainWholePage.h"

namespace {

// The sheet's Apply button, as the system's property sheet numbers it.
constexpr UINT kApplyNowId = 0x3021;
constexpr int kExportButtonWidth = 150;
constexpr const wchar_t* kInstallSettingFileName = L"QEVRINInstallSetting.dat";

}  // namespace

BOOL EqualPasswordData(const Quelmar::PasswordData& a, const Quelmar::PasswordData& b)
{
    return a.passwordSet == b.passwordSet && a.passwordDigest == b.passwordDigest &&
                   a.keyDeviceSet == b.keyDeviceSet && a.keyDevice.vendorId == b.keyDevice.vendorId &&
                   a.keyDevice.productId == b.keyDevice.productId &&
                   a.keyDevice.serialNumber == b.keyDevice.serialNumber && a.unlockMode == b.unlockMode
               ? TRUE
               : FALSE;
}

CMainSheet::CMainSheet(Quelmar::ISettingToolCore& core) : CPropertySheet(IDS_SHEET_CAPTION, nullptr, 0), core_(core)
{
    m_psh.dwFlags &= ~static_cast<DWORD>(PSH_HASHELP);
    m_psh.dwFlags |= PSH_USEHICON;
    m_psh.hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));

    ownedPages_.emplace_back(new CMainWholePage);
    ownedPages_.emplace_back(new CMainPasswordPage);
    ownedPages_.emplace_back(new CMainImportPage);
    ownedPages_.emplace_back(new CMainAboutPage);
    for (const std::unique_ptr<CPropertyPage>& page : ownedPages_) {
        page->m_psp.dwFlags &= ~static_cast<DWORD>(PSP_HASHELP);
        AddPage(page.get());
    }

    AssignSetting(m_editedSetting, *core_.GetSettings());
    AssignSetting(m_loadedSetting, m_editedSetting);
    AssignPasswordData(m_editedPassword, *core_.GetPasswordData());
    AssignPasswordData(m_loadedPassword, m_editedPassword);
}

CMainSheet::~CMainSheet() = default;

CMainSheet* CMainSheet::FromPage(const CPropertyPage& page)
{
    return dynamic_cast<CMainSheet*>(CWnd::FromHandlePermanent(page.GetSheetWindow()));
}

BOOL CMainSheet::DestroyWindow()
{
    while (GetPageCount() > 0) {
        CPropertyPage* page = GetPage(0);
        RemovePage(0);
        for (auto it = ownedPages_.begin(); it != ownedPages_.end(); ++it) {
            if (it->get() == page) {
                ownedPages_.erase(it);
                break;
            }
        }
    }
    return CPropertySheet::DestroyWindow();
}

BOOL CMainSheet::OnInitDialog()
{
    const BOOL result = CPropertySheet::OnInitDialog();
    AddExportButton();
    return result;
}

void CMainSheet::AddExportButton()
{
    HWND tab = ::FindWindowExW(m_hWnd, nullptr, L"SysTabControl32", nullptr);
    HWND ok = GetDlgItem(IDOK);
    if (tab == nullptr || ok == nullptr) {
        return;
    }
    RECT tabRect = {};
    RECT okRect = {};
    ::GetWindowRect(tab, &tabRect);
    ::GetWindowRect(ok, &okRect);
    RECT rect = {tabRect.left, okRect.top, tabRect.left + kExportButtonWidth, okRect.bottom};
    ScreenToClient(&rect);
    CString text;
    text.LoadString(IDS_EXPORT_BUTTON);
    if (!m_exportButton.Create(text, WS_CHILD | WS_VISIBLE, rect, this, IDC_EXPORT_SETTING)) {
        return;
    }
    m_exportButton.SetFont(reinterpret_cast<HFONT>(::SendMessageW(ok, WM_GETFONT, 0, 0)), TRUE);
}

BOOL CMainSheet::OnCmdMsg(UINT id, int code)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        case kApplyNowId:
            OnApplyNow();
            return TRUE;
        case IDC_EXPORT_SETTING:
            OnExportInstallSetting();
            return TRUE;
        default:
            break;
        }
    }
    return CPropertySheet::OnCmdMsg(id, code);
}

BOOL CMainSheet::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_APP_BRING_TO_FRONT) {
        BringWindowToFront(m_hWnd);
        *result = 0;
        return TRUE;
    }
    return CPropertySheet::OnWndMsg(message, wParam, lParam, result);
}

BOOL CMainSheet::ApplyPages()
{
    // What a page wrote on an earlier apply that was never stored (an export, a failed save)
    // must not outlive it: a value the user has since put back would otherwise be stored.
    AssignSetting(m_editedSetting, m_loadedSetting);
    AssignPasswordData(m_editedPassword, m_loadedPassword);
    return SendMessage(PSM_APPLY, 0, 0) != 0 ? TRUE : FALSE;
}

std::vector<CPropertyPage*> CMainSheet::ModifiedPages() const
{
    std::vector<CPropertyPage*> modified;
    for (int index = 0; index < GetPageCount(); ++index) {
        CPropertyPage* page = GetPage(index);
        if (page->m_hWnd != nullptr && page->IsModified()) {
            modified.push_back(page);
        }
    }
    return modified;
}

void CMainSheet::KeepUnapplied(const std::vector<CPropertyPage*>& modified, BOOL applyEnabled)
{
    // Applying clears every page's mark, and the system's sheet forgets its changed pages
    // with it; a page left unmarked would let Apply go when another page's change is taken
    // back, although its own edits were never stored.
    for (CPropertyPage* page : modified) {
        page->SetModified(TRUE);
    }
    ::EnableWindow(GetDlgItem(kApplyNowId), applyEnabled);
}

BOOL CMainSheet::ApplyAll()
{
    const std::vector<CPropertyPage*> modified = ModifiedPages();
    const BOOL wasEnabled = ::IsWindowEnabled(GetDlgItem(kApplyNowId));
    if (ApplyPages() && StoreApplied()) {
        return TRUE;
    }
    // Until the apply succeeds, what the user edited is still to be applied, and a stored
    // setting that the service has not taken still has to reach it.
    KeepUnapplied(modified, wasEnabled || !modified.empty() || reloadPending_ ? TRUE : FALSE);
    return FALSE;
}

BOOL CMainSheet::StoreApplied()
{
    const bool firstRun = *core_.IsSetupDone() == 0;
    if (!EqualPasswordData(m_loadedPassword, m_editedPassword) || firstRun) {
        core_.SetPasswordData(m_editedPassword);
        if (core_.SavePasswordData() != 0) {
            AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_SAVE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
            return FALSE;
        }
        AssignPasswordData(m_editedPassword, *core_.GetPasswordData());
        AssignPasswordData(m_loadedPassword, m_editedPassword);
    }
    if (!EqualSettings(m_editedSetting, m_loadedSetting) ||
        m_editedSetting.blockInternalSd != m_loadedSetting.blockInternalSd || firstRun) {
        core_.SetSettings(m_editedSetting);
        if (core_.SaveSettings() != 0) {
            AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_SAVE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
            return FALSE;
        }
        AssignSetting(m_editedSetting, *core_.GetSettings());
        AssignSetting(m_loadedSetting, m_editedSetting);
        reloadPending_ = true;
    }
    // Kept until the service has taken the stored setting: once stored, the records compare
    // equal, and without the flag a failed reload would never be asked for again.
    if (reloadPending_) {
        if (core_.RequestServiceReload() != 0) {
            AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_CHANGE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
            return FALSE;
        }
        reloadPending_ = false;
    }
    if (firstRun) {
        core_.MarkSetupDone();
    }
    AskRestartForCdPolicy(m_hWnd, *core_.GetSettings());
    return TRUE;
}

void CMainSheet::OnOK()
{
    if (ApplyAll()) {
        EndDialog(IDOK);
    }
}

void CMainSheet::OnApplyNow()
{
    if (ApplyAll()) {
        ::EnableWindow(GetDlgItem(kApplyNowId), FALSE);
    }
}

void CMainSheet::OnCancel()
{
    // An earlier Apply may have changed CD/DVD write blocking: the question stands.
    if (CdPolicyDiffersFromSetting(*core_.GetSettings()) && AskRestartNow(m_hWnd)) {
        SetShutdownPrivilege(true);
        ExitWindowsEx(EWX_REBOOT, 0);
        SetShutdownPrivilege(false);
    }
    EndDialog(IDCANCEL);
}

bool CMainSheet::ChooseExportFolder(CString& path)
{
    // The folder choice has no owner and runs a loop of its own, in which the sheet's
    // buttons would stay live: OK, Cancel or another export could run inside this export.
    struct SheetInputOff {
        explicit SheetInputOff(HWND window) : sheet(window) { ::EnableWindow(sheet, FALSE); }
        ~SheetInputOff()
        {
            ::EnableWindow(sheet, TRUE);
            ::SetActiveWindow(sheet);
        }
        HWND sheet;
    } inputOff(m_hWnd);
    return BrowseForFolder(path);
}

void CMainSheet::OnExportInstallSetting()
{
    const std::vector<CPropertyPage*> modified = ModifiedPages();
    const BOOL applyEnabled = ::IsWindowEnabled(GetDlgItem(kApplyNowId));
    const BOOL applied = ApplyPages();
    // Nothing was stored: the edits must still be applicable.
    KeepUnapplied(modified, applyEnabled);
    if (!applied) {
        return;
    }
    CString path;
    if (!ChooseExportFolder(path)) {
        return;
    }
    if (path.IsEmpty() || path[path.GetLength() - 1] != L'\\') {
        path += L"\\";
    }
    path += kInstallSettingFileName;
    if (core_.ExportInstallSetting(path, m_editedPassword, m_editedSetting, *core_.GetSettingTimeStamp()) != 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_SAVE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
    }
}
