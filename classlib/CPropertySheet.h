#pragma once
//
//  A property sheet or wizard over the system's property sheet, run modally. The sheet's
//  window is bound when the system reports it initialised; pages bind when they are created.
//  The sheet does not own its pages. Windows builds only.
//
#include "classlib/CPropertyPage.h"

#include <vector>

class CPropertySheet : public CWnd {
public:
    CPropertySheet(UINT captionId, CWnd* parent = nullptr, UINT selectPage = 0);
    CPropertySheet(LPCWSTR caption, CWnd* parent = nullptr, UINT selectPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* page);
    // Removes the page from the sheet (and its window, when the sheet runs).
    void RemovePage(int index);
    int GetPageCount() const { return static_cast<int>(pages_.size()); }
    CPropertyPage* GetPage(int index) const { return pages_.at(static_cast<size_t>(index)); }
    int GetActiveIndex() const;
    BOOL SetActivePage(int index);

    // Makes the sheet a wizard (PSH_WIZARD) before DoModal.
    void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }
    void SetWizardButtons(DWORD flags) { ::PostMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags)); }
    // The sheet's result: IDOK or IDCANCEL as the buttons ended it, or what EndDialog gave.
    virtual INT_PTR DoModal();
    // Closes the sheet as its Cancel button does (nothing is applied); DoModal answers result.
    void EndDialog(int result);

    // After the system has built the sheet, with the window bound; the return is ignored.
    virtual BOOL OnInitDialog();

    PROPSHEETHEADERW m_psh;

private:
    static int CALLBACK SheetCallback(HWND hWnd, UINT message, LPARAM lParam);
    void Init(CWnd* parent, UINT selectPage);

    CString caption_;
    std::vector<CPropertyPage*> pages_;
    int endResult_ = 0;
    bool endedByCode_ = false;
};
