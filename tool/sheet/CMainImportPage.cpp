#include "tool/sheet/CMainImportPage.h"

#include "classlib/DataExchange.h"
#include "core/model/ImportTimeRecord.h"
#include "tool/FormatLocalTime.h"
#include "tool/resource.h"
#include "tool/sheet/CMainSheet.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace {

constexpr DWORD kFileBufferLength = 512;
constexpr const wchar_t* kProposedFileName = L"QEVRINInstallSetting.dat";

}  // namespace

CMainImportPage::CMainImportPage() : CPropertyPage(IDD_MAIN_IMPORT)
{
}

void CMainImportPage::ShowValues()
{
    showingValues_ = true;
    UpdateData(FALSE);
    showingValues_ = false;
}

void CMainImportPage::DoDataExchange(CDataExchange* dx)
{
    DDX_Check(dx, IDC_IMPORT_AT_START, m_importAtStart);
    DDX_Text(dx, IDC_IMPORT_PATH, m_filePath);
    DDX_Text(dx, IDC_IMPORT_TIME, m_lastImport);
}

BOOL CMainImportPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_lastImport.Empty();
    if (CMainSheet* sheet = CMainSheet::FromPage(*this)) {
        m_importAtStart = sheet->m_loadedSetting.autoImport.importAtStart;
        m_filePath = sheet->m_loadedSetting.autoImport.importPath;
        Quelmar::ImportTimeRecord record;
        record.exportTime.time = 0;
        record.importTime.time = 0;
        // A time of 0 means never imported: no date of 1970 is shown for it.
        if (sheet->Core().ReadImportedFileTime(record) && record.importTime.time != 0) {
            m_lastImport = FormatLocalTime(L"%Y/%m/%d %H:%M:%S", record.importTime.time);
        }
    }
    ShowValues();
    EnableFileControls();
    return TRUE;
}

void CMainImportPage::EnableFileControls()
{
    ::EnableWindow(GetDlgItem(IDC_IMPORT_PATH), m_importAtStart != 0);
    ::EnableWindow(GetDlgItem(IDC_IMPORT_BROWSE), m_importAtStart != 0);
}

BOOL CMainImportPage::IsChanged() const
{
    const CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet == nullptr) {
        return FALSE;
    }
    const Quelmar::AutoImportSetting& loaded = sheet->m_loadedSetting.autoImport;
    return m_importAtStart != loaded.importAtStart || m_filePath != loaded.importPath ? TRUE : FALSE;
}

BOOL CMainImportPage::Validate()
{
    if (m_importAtStart == 1 && m_filePath.IsEmpty()) {
        AfxMessageBoxFromIds(m_hWnd, IDS_ENTER_SETTING_FILE, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
        ::SetFocus(GetDlgItem(IDC_IMPORT_PATH));
        return FALSE;
    }
    return TRUE;
}

BOOL CMainImportPage::OnCmdMsg(UINT id, int code)
{
    if (id == IDC_IMPORT_AT_START && code == BN_CLICKED) {
        OnAutoImport();
        return TRUE;
    }
    if (id == IDC_IMPORT_PATH && code == EN_CHANGE) {
        OnFileChange();
        return TRUE;
    }
    if (id == IDC_IMPORT_BROWSE && code == BN_CLICKED) {
        OnBrowse();
        return TRUE;
    }
    return CPropertyPage::OnCmdMsg(id, code);
}

void CMainImportPage::OnAutoImport()
{
    UpdateData(TRUE);
    SetModified(IsChanged());
    EnableFileControls();
}

void CMainImportPage::OnFileChange()
{
    if (showingValues_) {
        return;
    }
    UpdateData(TRUE);
    SetModified(IsChanged());
}

void CMainImportPage::OnBrowse()
{
    UpdateData(TRUE);
    CString filterText;
    filterText.LoadString(IDS_SETTING_FILE_FILTER);
    std::vector<wchar_t> filter(filterText.GetString(), filterText.GetString() + filterText.GetLength());
    filter.push_back(L'\0');
    for (wchar_t& c : filter) {
        if (c == L'|') {
            c = L'\0';
        }
    }
    std::vector<wchar_t> file(kFileBufferLength, L'\0');
    const CString initial = m_filePath.IsEmpty() ? CString(kProposedFileName) : m_filePath;
    // A longer path than the buffer holds is cut rather than overrunning it.
    const size_t copied = std::min(static_cast<size_t>(initial.GetLength()), file.size() - 1);
    std::copy(initial.GetString(), initial.GetString() + copied, file.begin());

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferLength;
    ofn.lpstrDefExt = L".dat";
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&ofn) == TRUE) {
        m_filePath = file.data();
        ShowValues();
    }
    SetModified(IsChanged());
}

BOOL CMainImportPage::OnApply()
{
    UpdateData(TRUE);
    if (!Validate()) {
        return FALSE;
    }
    CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet != nullptr && IsChanged()) {
        sheet->m_editedSetting.autoImport.importAtStart = m_importAtStart;
        sheet->m_editedSetting.autoImport.importPath = m_filePath;
    }
    CPropertyPage::OnOK();
    return TRUE;
}
