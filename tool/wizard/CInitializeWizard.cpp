#include "tool/wizard/CInitializeWizard.h"

#include "tool/ISettingToolCore.h"
#include "tool/sheet/AskRestartForCdPolicy.h"
#include "tool/resource.h"

namespace {

constexpr UINT kFinishButtonId = 0x3025;

}  // namespace

CInitializeWizard::CInitializeWizard()
    : CPropertySheet(IDS_SETUP_CAPTION, nullptr, 0), captionId_(IDS_SETUP_CAPTION),
      icon_(::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))), wholePage_(&startingSetting_),
      finishPage_(&wholePage_)
{
    // No PSH_PROPTITLE: the system's wizard then titles every page it shows with its own
    // template's caption instead of the page's title, and the wizard's caption would be lost.
    m_psh.dwFlags &= ~PSH_HASHELP;
    m_psh.dwFlags |= PSH_WIZARD;
    Quelmar::AssignSetting(startingSetting_, *Quelmar::GetSettingToolCore().GetSettings());
    caption_.LoadString(captionId_);
    for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{&wholePage_, &passwordPage_, &finishPage_}) {
        page->m_psp.dwFlags |= PSP_USETITLE;
        page->m_psp.dwFlags &= ~PSP_HASHELP;
        // A wizard shows the title of its current page; every page shows the wizard's caption.
        page->m_psp.pszTitle = caption_;
        AddPage(page);
    }
}

BOOL CInitializeWizard::OnInitDialog()
{
    const BOOL result = CPropertySheet::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    // A taskbar button, since the wizard is the program's only window.
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    CString caption;
    caption.LoadString(captionId_);
    SetWindowText(caption);
    return result;
}

BOOL CInitializeWizard::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_PAINT:
        if (::IsIconic(m_hWnd)) {
            OnPaint();
            *result = 0;
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(icon_);
        return TRUE;
    default:
        return CPropertySheet::OnWndMsg(message, wParam, lParam, result);
    }
}

void CInitializeWizard::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, icon_);
    ::EndPaint(m_hWnd, &paint);
}

BOOL CInitializeWizard::OnCmdMsg(UINT id, int code)
{
    if (id == kFinishButtonId && code == BN_CLICKED) {
        OnWizardFinish();
        return TRUE;
    }
    return CPropertySheet::OnCmdMsg(id, code);
}

void CInitializeWizard::OnWizardFinish()
{
    Quelmar::ISettingToolCore& core = Quelmar::GetSettingToolCore();

    Quelmar::SettingV3 setting;
    Quelmar::AssignSetting(setting, *core.GetSettings());
    // The wizard always switches control on; the automatic import stays as the core holds it.
    setting.usbControlEnabled = 1;
    wholePage_.m_fields.Store(setting);
    core.SetSettings(setting);
    if (core.SaveSettings() != 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_SAVE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
        return;
    }

    Quelmar::PasswordData passwordData;
    passwordPage_.BuildPasswordData(passwordData);
    core.SetPasswordData(passwordData);
    if (core.SavePasswordData() != 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_SAVE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
        return;
    }

    if (core.RequestServiceReload() != 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_CANNOT_CHANGE_SETTING, IDS_SHEET_CAPTION, MB_ICONERROR);
        return;
    }

    AskRestartForCdPolicy(m_hWnd, *core.GetSettings());
    Default();
}
