#include "tool/sheet/CMainWholePage.h"

#include "classlib/DataExchange.h"
#include "tool/resource.h"
#include "tool/sheet/CMainSheet.h"

CMainWholePage::CMainWholePage() : CPropertyPage(IDD_MAIN_WHOLE)
{
}

void CMainWholePage::DoDataExchange(CDataExchange* dx)
{
    DDX_Check(dx, IDC_USB_CONTROL, m_usbControl);
    m_fields.Exchange(dx);
}

BOOL CMainWholePage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    if (CMainSheet* sheet = CMainSheet::FromPage(*this)) {
        m_usbControl = sheet->m_loadedSetting.usbControlEnabled;
        m_fields.Load(sheet->m_loadedSetting);
    }
    UpdateData(FALSE);
    UpdateButtons();
    EnableControls(m_usbControl);
    return TRUE;
}

BOOL CMainWholePage::IsChanged() const
{
    const CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet == nullptr) {
        return FALSE;
    }
    const Quelmar::SettingV3& loaded = sheet->m_loadedSetting;
    return m_usbControl != loaded.usbControlEnabled || m_fields.DiffersFrom(loaded) ? TRUE : FALSE;
}

void CMainWholePage::EnableControls(BOOL enable)
{
    WhitelistPageFields::EnableControls(*this, enable);
    UpdateButtons();
}

void CMainWholePage::UpdateButtons()
{
    const BOOL rowChosen = m_usbControl == 1 && m_fields.HasSelectedRow();
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_EDIT), rowChosen);
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_DELETE), rowChosen);
    ::EnableWindow(GetDlgItem(IDC_CSV_EXPORT), !(m_usbControl == 1 && m_fields.list.GetItemCount() == 0));
}

BOOL CMainWholePage::OnCmdMsg(UINT id, int code)
{
    if (code != BN_CLICKED) {
        return CPropertyPage::OnCmdMsg(id, code);
    }
    switch (id) {
    case IDC_USB_CONTROL:
        OnEnableControl();
        return TRUE;
    case IDC_WHITELIST_ADD:
        OnAdd();
        return TRUE;
    case IDC_WHITELIST_EDIT:
        OnEdit();
        return TRUE;
    case IDC_WHITELIST_DELETE:
        OnDelete();
        return TRUE;
    case IDC_OUTSIDE_BLOCK:
    case IDC_OUTSIDE_READ_ONLY:
    case IDC_BLOCK_PORTABLE:
    case IDC_BLOCK_CD_WRITING:
    case IDC_BLOCK_INTERNAL_SD:
        OnModified();
        return TRUE;
    case IDC_CSV_IMPORT:
        OnImportCsv();
        return TRUE;
    case IDC_CSV_EXPORT:
        OnExportCsv();
        return TRUE;
    default:
        return CPropertyPage::OnCmdMsg(id, code);
    }
}

BOOL CMainWholePage::OnNotifyMsg(NMHDR* header, LRESULT* result)
{
    if (header->idFrom == IDC_WHITELIST && header->code == LVN_ITEMCHANGED) {
        *result = 0;
        UpdateButtons();
        return TRUE;
    }
    return CPropertyPage::OnNotifyMsg(header, result);
}

void CMainWholePage::OnEnableControl()
{
    UpdateData(TRUE);
    SetModified(IsChanged());
    EnableControls(m_usbControl);
}

void CMainWholePage::OnModified()
{
    UpdateData(TRUE);
    SetModified(IsChanged());
}

void CMainWholePage::OnAdd()
{
    if (m_fields.AddEntry(this)) {
        SetModified(IsChanged());
        UpdateButtons();
    }
}

void CMainWholePage::OnEdit()
{
    if (m_fields.EditSelectedEntry(this)) {
        SetModified(IsChanged());
        UpdateButtons();
    }
}

void CMainWholePage::OnDelete()
{
    if (m_fields.DeleteSelectedEntries(this)) {
        SetModified(IsChanged());
        UpdateButtons();
    }
}

void CMainWholePage::OnImportCsv()
{
    // The imported rows count as a change only when the sheet next compares them on apply.
    if (m_fields.ImportCsv(this)) {
        UpdateData(FALSE);
        UpdateButtons();
    }
}

void CMainWholePage::OnExportCsv()
{
    m_fields.ExportCsv(this);
}

BOOL CMainWholePage::OnApply()
{
    // The sheet then stores nothing and stays open.
    if (m_fields.RefuseShortList(this)) {
        return FALSE;
    }
    CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet != nullptr && IsChanged()) {
        Quelmar::SettingV3& edited = sheet->m_editedSetting;
        edited.usbControlEnabled = m_usbControl;
        m_fields.Store(edited);
    }
    CPropertyPage::OnOK();
    return TRUE;
}
