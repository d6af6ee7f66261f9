#include "tool/sheet/WhitelistPageFields.h"

#include "classlib/DataExchange.h"
#include "tool/CAddUSBStorageDlg.h"
#include "tool/CCSVInOutDlg.h"
#include "tool/resource.h"

#include <commdlg.h>

#include <vector>

namespace {

constexpr DWORD kFileBufferLength = 512;

const int kEditedControls[] = {
    IDC_WHITELIST,     IDC_WHITELIST_ADD,     IDC_WHITELIST_EDIT, IDC_WHITELIST_DELETE,  IDC_OUTSIDE_BLOCK,
    IDC_OUTSIDE_READ_ONLY, IDC_BLOCK_PORTABLE, IDC_BLOCK_CD_WRITING, IDC_BLOCK_INTERNAL_SD,
};

CString Loaded(UINT id)
{
    CString text;
    text.LoadString(id);
    return text;
}

// "text1 NUL pattern1 NUL ... NUL NUL", as the file dialogs want their filter.
std::vector<wchar_t> FileFilter(std::initializer_list<CString> parts)
{
    std::vector<wchar_t> filter;
    for (const CString& part : parts) {
        filter.insert(filter.end(), part.GetString(), part.GetString() + part.GetLength());
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

}  // namespace

int OutsideIndexFromPolicy(int policy)
{
    return policy == Quelmar::OutsidePolicyReadOnly ? 1 : 0;
}

int PolicyFromOutsideIndex(int index)
{
    return index == 1 ? Quelmar::OutsidePolicyReadOnly : Quelmar::OutsidePolicyBlock;
}

int CheckFromSwitch(int value)
{
    return value == 1 ? 1 : 0;
}

void WhitelistPageFields::Exchange(CDataExchange* dx)
{
    DDX_Radio(dx, IDC_OUTSIDE_BLOCK, outsideIndex);
    DDX_Control(dx, IDC_WHITELIST, list);
    DDX_Check(dx, IDC_BLOCK_PORTABLE, blockPortableDevices);
    DDX_Check(dx, IDC_BLOCK_CD_WRITING, blockCdWriting);
    DDX_Check(dx, IDC_BLOCK_INTERNAL_SD, blockInternalSd);
}

void WhitelistPageFields::Load(const Quelmar::SettingV3& setting)
{
    outsideIndex = OutsideIndexFromPolicy(setting.outsidePolicy);
    blockPortableDevices = setting.blockPortableDevices;
    blockCdWriting = setting.blockCdWriting;
    blockInternalSd = CheckFromSwitch(setting.blockInternalSd);
    list.SetColumns();
    // Sized once after the last row: sizing measures every row, so sizing after each one
    // would take a time that grows with the square of a long list. Drawing is off meanwhile,
    // or every row would update the scroll bars on its own.
    list.SendMessage(WM_SETREDRAW, FALSE);
    list.SetItemCount(list.GetItemCount() + static_cast<int>(setting.whitelist.size()));
    bool anyRow = false;
    for (const Quelmar::WhitelistEntry& entry : setting.whitelist) {
        anyRow = list.AddEntry(entry, 0) >= 0 || anyRow;
    }
    list.SendMessage(WM_SETREDRAW, TRUE);
    if (anyRow) {
        list.FitColumnToRows();
    }
}

void WhitelistPageFields::Store(Quelmar::SettingV3& setting) const
{
    setting.outsidePolicy = PolicyFromOutsideIndex(outsideIndex);
    list.GetAllEntries(setting.whitelist);
    setting.blockPortableDevices = blockPortableDevices;
    setting.blockCdWriting = blockCdWriting;
    setting.blockInternalSd = CheckFromSwitch(blockInternalSd);
}

BOOL WhitelistPageFields::DiffersFrom(const Quelmar::SettingV3& setting) const
{
    Quelmar::Whitelist rows;
    list.GetAllEntries(rows);
    const bool same = PolicyFromOutsideIndex(outsideIndex) == setting.outsidePolicy &&
                      Quelmar::EqualWhitelists(setting.whitelist, rows) &&
                      blockPortableDevices == setting.blockPortableDevices &&
                      blockCdWriting == setting.blockCdWriting &&
                      (blockInternalSd == 1 ? 1 : 0) == setting.blockInternalSd;
    return same ? FALSE : TRUE;
}

void WhitelistPageFields::EnableControls(CWnd& page, BOOL enable)
{
    for (int id : kEditedControls) {
        ::EnableWindow(page.GetDlgItem(id), enable);
    }
}

BOOL WhitelistPageFields::HasSelectedRow() const
{
    return list.GetNextItem(-1, LVNI_SELECTED) >= 0 ? TRUE : FALSE;
}

BOOL WhitelistPageFields::AddEntry(CWnd* owner)
{
    CAddUSBStorageDlg dialog(owner);
    list.GetAllEntries(dialog.m_excludedEntries);
    if (dialog.DoModal() != IDOK) {
        return FALSE;
    }
    list.AddEntry(dialog.m_entry, 1);
    return TRUE;
}

BOOL WhitelistPageFields::EditSelectedEntry(CWnd* owner)
{
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    const Quelmar::WhitelistEntry* entry = row >= 0 ? list.GetRow(row) : nullptr;
    if (entry == nullptr) {
        return FALSE;
    }
    CAddUSBStorageDlg dialog(*entry, owner);
    list.GetAllEntries(dialog.m_excludedEntries);
    if (dialog.DoModal() != IDOK) {
        return FALSE;
    }
    list.UpdateEntry(dialog.m_entry, row);
    return TRUE;
}

BOOL WhitelistPageFields::DeleteSelectedEntries(CWnd* owner)
{
    if (!HasSelectedRow()) {
        return FALSE;
    }
    if (AfxMessageBoxFromIds(owner->m_hWnd, IDS_CONFIRM_DELETE, IDS_SHEET_CAPTION, MB_YESNO | MB_ICONINFORMATION) !=
        IDYES) {
        return FALSE;
    }
    list.DeleteSelected();
    return TRUE;
}

BOOL WhitelistPageFields::ImportCsv(CWnd* owner)
{
    if (AfxMessageBoxFromIds(owner->m_hWnd, IDS_CSV_IMPORT_REPLACES, IDS_SHEET_CAPTION,
                             MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        return FALSE;
    }
    std::vector<wchar_t> filter =
        FileFilter({Loaded(IDS_CSV_FILTER), CString(L"*.csv"), Loaded(IDS_ALL_FILES_FILTER), CString(L"*.*")});
    wchar_t file[kFileBufferLength] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner->m_hWnd;
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = file;
    ofn.nMaxFile = kFileBufferLength;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn) != TRUE) {
        return FALSE;
    }
    const CString path(file);
    CCSVInOutDlg dialog(&path, &list, CCSVInOutDlg::kImport, owner);
    if (dialog.DoModal() != CCSVInOutDlg::kWorkerFinished) {
        return FALSE;
    }
    // Rows put back after a failure are those of a list that may already have been short.
    if (dialog.m_listOutcome != CCSVInOutDlg::kListKept) {
        rowsLost = dialog.m_listOutcome == CCSVInOutDlg::kListLost;
    }
    return TRUE;
}

void WhitelistPageFields::ExportCsv(CWnd* owner)
{
    std::vector<wchar_t> filter = FileFilter({Loaded(IDS_CSV_FILTER), CString(L"*.csv")});
    wchar_t file[kFileBufferLength] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner->m_hWnd;
    ofn.lpstrFilter = filter.data();
    ofn.lpstrFile = file;
    ofn.nMaxFile = kFileBufferLength;
    ofn.lpstrDefExt = L"csv";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (GetSaveFileNameW(&ofn) != TRUE) {
        return;
    }
    const CString path(file);
    CCSVInOutDlg dialog(&path, &list, CCSVInOutDlg::kExport, owner);
    dialog.DoModal();
}

BOOL WhitelistPageFields::RefuseShortList(CWnd* owner) const
{
    if (!rowsLost) {
        return FALSE;
    }
    AfxMessageBoxFromIds(owner->m_hWnd, IDS_CSV_ROWS_LOST, IDS_SHEET_CAPTION, MB_ICONERROR);
    return TRUE;
}
