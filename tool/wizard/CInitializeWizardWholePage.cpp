#include "tool/wizard/CInitializeWizardWholePage.h"

#include "tool/resource.h"

CInitializeWizardWholePage::CInitializeWizardWholePage(const Quelmar::SettingV3* startingSetting)
    : CPropertyPage(IDD_WIZARD_WHOLE), startingSetting_(startingSetting)
{
}

void CInitializeWizardWholePage::DoDataExchange(CDataExchange* dx)
{
    m_fields.Exchange(dx);
}

BOOL CInitializeWizardWholePage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_fields.Load(*startingSetting_);
    UpdateData(FALSE);
    WhitelistPageFields::EnableControls(*this, TRUE);
    UpdateButtons();
    return TRUE;
}

BOOL CInitializeWizardWholePage::OnSetActive()
{
    ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
}

LRESULT CInitializeWizardWholePage::OnWizardNext()
{
    return m_fields.RefuseShortList(this) ? -1 : CPropertyPage::OnWizardNext();
}

void CInitializeWizardWholePage::UpdateButtons()
{
    const BOOL rowChosen = m_fields.HasSelectedRow();
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_EDIT), rowChosen);
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_DELETE), rowChosen);
    ::EnableWindow(GetDlgItem(IDC_CSV_EXPORT), m_fields.list.GetItemCount() > 0);
    ::EnableWindow(GetDlgItem(IDC_CSV_IMPORT), TRUE);
}

BOOL CInitializeWizardWholePage::OnCmdMsg(UINT id, int code)
{
    if (code != BN_CLICKED) {
        return CPropertyPage::OnCmdMsg(id, code);
    }
    switch (id) {
    case IDC_WHITELIST_ADD:
        if (m_fields.AddEntry(this)) {
            UpdateButtons();
        }
        return TRUE;
    case IDC_WHITELIST_EDIT:
        if (m_fields.EditSelectedEntry(this)) {
            UpdateButtons();
        }
        return TRUE;
    case IDC_WHITELIST_DELETE:
        if (m_fields.DeleteSelectedEntries(this)) {
            UpdateButtons();
        }
        return TRUE;
    case IDC_CSV_IMPORT:
        if (m_fields.ImportCsv(this)) {
            UpdateData(FALSE);
            UpdateButtons();
        }
        return TRUE;
    case IDC_CSV_EXPORT:
        m_fields.ExportCsv(this);
        return TRUE;
    default:
        return CPropertyPage::OnCmdMsg(id, code);
    }
}

BOOL CInitializeWizardWholePage::OnNotifyMsg(NMHDR* header, LRESULT* result)
{
    if (header->idFrom == IDC_WHITELIST && header->code == LVN_ITEMCHANGED) {
        *result = 0;
        UpdateButtons();
        return TRUE;
    }
    return CPropertyPage::OnNotifyMsg(header, result);
}
