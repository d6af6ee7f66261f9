#include "classlib/CPropertySheet.h"

namespace {

// The sheet that DoModal is about to create on this thread; the system's callback has no
// parameter of its own to carry it.
thread_local CPropertySheet* t_creatingSheet = nullptr;

}  // namespace

CPropertySheet::CPropertySheet(UINT captionId, CWnd* parent, UINT selectPage)
{
    caption_.LoadString(captionId);
    Init(parent, selectPage);
}

CPropertySheet::CPropertySheet(LPCWSTR caption, CWnd* parent, UINT selectPage) : caption_(caption)
{
    Init(parent, selectPage);
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::Init(CWnd* parent, UINT selectPage)
{
    m_psh = {};
    m_psh.dwSize = sizeof(m_psh);
    m_psh.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    m_psh.hwndParent = parent ? parent->m_hWnd : nullptr;
    m_psh.hInstance = AfxGetResourceHandle();
    m_psh.nStartPage = selectPage;
    m_psh.pfnCallback = &CPropertySheet::SheetCallback;
}

void CPropertySheet::AddPage(CPropertyPage* page)
{
    pages_.push_back(page);
    if (m_hWnd != nullptr) {
        HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page->m_psp);
        if (handle != nullptr) {
            ::SendMessageW(m_hWnd, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(handle));
        }
    }
}

void CPropertySheet::RemovePage(int index)
{
    if (index < 0 || index >= GetPageCount()) {
        return;
    }
    if (m_hWnd != nullptr) {
        ::SendMessageW(m_hWnd, PSM_REMOVEPAGE, static_cast<WPARAM>(index), 0);
    }
    pages_.erase(pages_.begin() + index);
}

int CPropertySheet::GetActiveIndex() const
{
    if (m_hWnd == nullptr) {
        return static_cast<int>(m_psh.nStartPage);
    }
    HWND tab = reinterpret_cast<HWND>(::SendMessageW(m_hWnd, PSM_GETTABCONTROL, 0, 0));
    return tab ? static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)) : -1;
}

BOOL CPropertySheet::SetActivePage(int index)
{
    if (m_hWnd == nullptr) {
        m_psh.nStartPage = static_cast<UINT>(index);
        return TRUE;
    }
    return static_cast<BOOL>(::SendMessageW(m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CALLBACK CPropertySheet::SheetCallback(HWND hWnd, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED && t_creatingSheet != nullptr) {
        CPropertySheet* sheet = t_creatingSheet;
        t_creatingSheet = nullptr;
        sheet->Bind(hWnd, true);
        sheet->OnInitDialog();
    }
    return 0;
}

BOOL CPropertySheet::OnInitDialog()
{
    return TRUE;
}

INT_PTR CPropertySheet::DoModal()
{
    if (m_hWnd != nullptr || pages_.empty()) {
        return -1;
    }
    std::vector<PROPSHEETPAGEW> pages;
    pages.reserve(pages_.size());
    for (CPropertyPage* page : pages_) {
        pages.push_back(page->m_psp);
    }
    m_psh.nPages = static_cast<UINT>(pages.size());
    m_psh.ppsp = pages.data();
    m_psh.pszCaption = caption_;
    if (m_psh.hwndParent == nullptr) {
        if (CWnd* main = AfxGetMainWnd()) {
            m_psh.hwndParent = main != this ? main->m_hWnd : nullptr;
        }
    }
    endedByCode_ = false;
    t_creatingSheet = this;
    INT_PTR result = PropertySheetW(&m_psh);
    t_creatingSheet = nullptr;
    m_psh.ppsp = nullptr;
    if (m_hWnd != nullptr) {
        Unbind();
    }
    if (endedByCode_) {
        return endResult_;
    }
    // The system answers a positive value for OK and 0 for Cancel.
    return result > 0 ? IDOK : (result == 0 ? IDCANCEL : -1);
}

void CPropertySheet::EndDialog(int result)
{
    endResult_ = result;
    endedByCode_ = true;
    if (m_hWnd != nullptr) {
        // The system's sheet leaves its loop only through its own buttons; its cancel path
        // closes it without applying anything, and the code given here is what DoModal answers.
        ::PostMessageW(m_hWnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
}
