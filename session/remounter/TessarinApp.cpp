#include "session/remounter/TessarinApp.h"

#include "session/remounter/DriveRemount.h"

#include <commctrl.h>

BOOL CTessarinApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    // The service passes the drive letters as the whole argument string, after the quoted
    // program path that the system has already taken off.
    Quelmar::RemountDrives(m_lpCmdLine ? CString(m_lpCmdLine) : CString());
    return FALSE;
}
