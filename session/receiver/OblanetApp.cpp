#include "session/receiver/OblanetApp.h"

#include <commctrl.h>

BOOL COblanetApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    if (!instance_.Acquire())
        return FALSE;
    window_ = COblanetWnd::CreateHidden();
    if (!window_)
        return FALSE;
    m_pMainWnd = window_.get();
    return TRUE;
}

int COblanetApp::ExitInstance()
{
    m_pMainWnd = nullptr;
    window_.reset();
    instance_.Release();
    return CWinApp::ExitInstance();
}
