#include "classlib/CPropertyPage.h"

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CDialog(templateId)
{
    m_psp = {};
    m_psp.dwSize = sizeof(m_psp);
    m_psp.dwFlags = PSP_USECALLBACK;
    m_psp.hInstance = AfxGetResourceHandle();
    m_psp.pszTemplate = MAKEINTRESOURCEW(templateId);
    m_psp.pfnDlgProc = &AfxDlgProc;
    m_psp.pfnCallback = &CPropertyPage::PageCallback;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    if (captionId != 0 && caption_.LoadString(captionId)) {
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = caption_;
    }
}

CPropertyPage::~CPropertyPage() = default;

UINT CALLBACK CPropertyPage::PageCallback(HWND, UINT message, LPPROPSHEETPAGEW page)
{
    // The sheet creates the page's window right after this: its first message binds it.
    if (message == PSPCB_CREATE && page != nullptr) {
        AfxHookWindowCreate(reinterpret_cast<CPropertyPage*>(page->lParam));
    }
    return 1;
}

BOOL CPropertyPage::OnSetActive()
{
    return TRUE;
}

BOOL CPropertyPage::OnKillActive()
{
    return UpdateData(TRUE);
}

BOOL CPropertyPage::OnApply()
{
    OnOK();
    return TRUE;
}

void CPropertyPage::OnReset()
{
    OnCancel();
}

LRESULT CPropertyPage::OnWizardBack()
{
    return 0;
}

LRESULT CPropertyPage::OnWizardNext()
{
    return 0;
}

BOOL CPropertyPage::OnWizardFinish()
{
    return TRUE;
}

void CPropertyPage::OnOK()
{
    modified_ = FALSE;
}

void CPropertyPage::OnCancel()
{
}

void CPropertyPage::SetModified(BOOL changed)
{
    modified_ = changed;
    HWND sheet = GetSheetWindow();
    if (sheet != nullptr) {
        ::SendMessageW(sheet, changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
    }
}

BOOL CPropertyPage::OnNotifyMsg(NMHDR* header, LRESULT* result)
{
    if (header->hwndFrom != GetSheetWindow()) {
        return CDialog::OnNotifyMsg(header, result);
    }
    switch (header->code) {
    case PSN_SETACTIVE:
        *result = OnSetActive() ? 0 : -1;
        break;
    case PSN_KILLACTIVE:
        *result = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        break;
    case PSN_RESET:
        OnReset();
        *result = 0;
        break;
    case PSN_WIZBACK:
        *result = OnWizardBack();
        break;
    case PSN_WIZNEXT:
        *result = OnWizardNext();
        break;
    case PSN_WIZFINISH:
        *result = OnWizardFinish() ? FALSE : TRUE;
        break;
    default:
        return CDialog::OnNotifyMsg(header, result);
    }
    // A page is a dialog: the sheet may read the answer where dialogs keep it, too.
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, *result);
    return TRUE;
}
