#include "session/ejector/CQuelmarIMAPICDEjectorApp.h"

#include "session/ejector/CIMAPICDEjectorWnd.h"
#include "session/ejector/CIMAPIEjectorFactory.h"

#include <commctrl.h>

BOOL CQuelmarIMAPICDEjectorApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    // Another ejector of this session runs already.
    if (!instance_.TakeInstance()) {
        return FALSE;
    }
    com_.emplace();
    // Without an implementation the window still runs, and ejects nothing.
    SelectEjectorImplementation();
    CIMAPICDEjectorWnd* window = CIMAPICDEjectorWnd::CreateHidden();
    m_pMainWnd = window;
    return window != nullptr;
}

int CQuelmarIMAPICDEjectorApp::ExitInstance()
{
    // The window stops the ejector thread, whose implementation goes back to the factory:
    // both before the factory itself goes.
    if (m_pMainWnd != nullptr) {
        // The window deletes itself on the way: the handle is taken first.
        const HWND window = m_pMainWnd->GetSafeHwnd();
        m_pMainWnd = nullptr;
        ::DestroyWindow(window);
    }
    CIMAPIEjectorFactory::DeleteInstance();
    com_.reset();
    instance_.Release();
    return CWinApp::ExitInstance();
}
