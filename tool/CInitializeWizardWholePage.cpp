#include "tool/CInitializeWizardWholePage.h"

#include "classlib/DataExchange.h"
#include "tool/CAddUSBStorageDlg.h"
#include "tool/CCSVInOutDlg.h"
#include "tool/resource.h"

#include <commdlg.h>

#include <vector>

namespace {

constexpr DWORD kFileBufferChars = 512;

// A file filter of the dialogs: pairs of text and pattern, each ended by NUL, the whole by a
// second NUL.
std::vector<wchar_t> MakeFilter(std::initializer_list<const wchar_t*> parts)
{
    std::vector<wchar_t> filter;
    for (const wchar_t* part : parts) {
        for (const wchar_t* c = part; *c != L'\0'; ++c) {
            filter.push_back(*c);
        }
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

CString LoadText(UINT id)
{
    CString text;
    text.LoadString(id);
    return text;
}

}  // namespace

CInitializeWizardWholePage::CInitializeWizardWholePage(const Quelmar::SettingV3* startingSetting)
    : CPropertyPage(IDD_WIZARD_WHOLE), startingSetting_(startingSetting)
{
}

void CInitializeWizardWholePage::DoDataExchange(CDataExchange* dx)
{
    DDX_Radio(dx, IDC_OUTSIDE_BLOCK, m_outsideIndex);
    DDX_Control(dx, IDC_WHITELIST, m_list);
    DDX_Check(dx, IDC_BLOCK_PORTABLE, m_blockPortable);
    DDX_Check(dx, IDC_BLOCK_CD_WRITING, m_blockCdWriting);
    DDX_Check(dx, IDC_BLOCK_INTERNAL_SD, m_blockInternalSd);
}

BOOL CInitializeWizardWholePage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_outsideIndex = startingSetting_->outsidePolicy == Quelmar::OutsidePolicyReadOnly ? 1 : 0;
    m_list.SetColumns();
    for (const Quelmar::WhitelistEntry& entry : startingSetting_->whitelist) {
        m_list.AddEntry(entry, 1);
    }
    m_blockPortable = startingSetting_->blockPortableDevices;
    m_blockCdWriting = startingSetting_->blockCdWriting;
    m_blockInternalSd = startingSetting_->blockInternalSd == 1 ? 1 : 0;
    UpdateData(FALSE);
    EnableControls(TRUE);
    UpdateButtons();
    return TRUE;
}

BOOL CInitializeWizardWholePage::OnSetActive()
{
    ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
}

void CInitializeWizardWholePage::EnableControls(BOOL enable)
{
    for (int id : {IDC_WHITELIST, IDC_WHITELIST_ADD, IDC_WHITELIST_EDIT, IDC_WHITELIST_DELETE, IDC_OUTSIDE_BLOCK,
                   IDC_OUTSIDE_READ_ONLY, IDC_BLOCK_PORTABLE, IDC_BLOCK_CD_WRITING, IDC_BLOCK_INTERNAL_SD}) {
        ::EnableWindow(GetDlgItem(id), enable);
    }
}

void CInitializeWizardWholePage::UpdateButtons()
{
    const BOOL selected = m_list.GetNextItem(-1, LVNI_SELECTED) >= 0;
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_EDIT), selected);
    ::EnableWindow(GetDlgItem(IDC_WHITELIST_DELETE), selected);
    ::EnableWindow(GetDlgItem(IDC_CSV_EXPORT), m_list.GetItemCount() > 0);
    ::EnableWindow(GetDlgItem(IDC_CSV_IMPORT), TRUE);
}

BOOL CInitializeWizardWholePage::OnCmdMsg(UINT id, int code)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_WHITELIST_ADD:
            OnAdd();
            return TRUE;
        case IDC_WHITELIST_EDIT:
            OnEdit();
            return TRUE;
        case IDC_WHITELIST_DELETE:
            OnDelete();
            return TRUE;
        case IDC_CSV_IMPORT:
            OnImportCsv();
            return TRUE;
        case IDC_CSV_EXPORT:
            OnExportCsv();
            return TRUE;
        default:
            break;
        }
    }
    return CPropertyPage::OnCmdMsg(id, code);
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

void CInitializeWizardWholePage::OnAdd()
{
    CAddUSBStorageDlg dialog(this);
    m_list.GetAllEntries(dialog.m_excludedEntries);
    if (dialog.DoModal() == IDOK) {
        m_list.AddEntry(dialog.m_entry, 1);
        UpdateButtons();
    }
}

void CInitializeWizardWholePage::OnEdit()
{
    const int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || m_list.GetRow(row) == nullptr) {
        return;
    }
    CAddUSBStorageDlg dialog(*m_list.GetRow(row), this);
    m_list.GetAllEntries(dialog.m_excludedEntries);
    if (dialog.DoModal() == IDOK) {
        m_list.UpdateEntry(dialog.m_entry, row);
        UpdateButtons();
    }
}

void CInitializeWizardWholePage::OnDelete()
{
    if (m_list.GetNextItem(-1, LVNI_SELECTED) < 0) {
        return;
    }
    if (AfxMessageBoxFromIds(m_hWnd, IDS_CONFIRM_DELETE, IDS_SHEET_CAPTION, MB_YESNO | MB_ICONINFORMATION) == IDYES) {
        m_list.DeleteSelected();
        UpdateButtons();
    }
}

void CInitializeWizardWholePage::OnImportCsv()
{
    if (AfxMessageBoxFromIds(m_hWnd, IDS_CSV_IMPORT_REPLACES, IDS_SHEET_CAPTION, MB_YESNO | MB_ICONINFORMATION) !=
        IDYES) {
        return;
    }
    const CString csv = LoadText(IDS_CSV_FILTER);
    const CString all = LoadText(IDS_ALL_FILES_FILTER);
    const std::vector<wchar_t> filter = MakeFilter({csv, L"*.csv", all, L"*.*"});
    std::vector<wchar_t> file(kFileBufferChars, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferChars;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn) != TRUE) {
        return;
    }
    const CString path(file.data());
    CCSVInOutDlg dialog(&path, &m_list, CCSVInOutDlg::kImport, this);
    if (dialog.DoModal() == CCSVInOutDlg::kWorkerFinished) {
        UpdateData(FALSE);
        UpdateButtons();
    }
}

void CInitializeWizardWholePage::OnExportCsv()
{
    const CString csv = LoadText(IDS_CSV_FILTER);
    const std::vector<wchar_t> filter = MakeFilter({csv, L"*.csv"});
    std::vector<wchar_t> file(kFileBufferChars, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferChars;
    ofn.lpstrDefExt = L"csv";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (GetSaveFileNameW(&ofn) != TRUE) {
        return;
    }
    const CString path(file.data());
    CCSVInOutDlg dialog(&path, &m_list, CCSVInOutDlg::kExport, this);
    dialog.DoModal();
}
