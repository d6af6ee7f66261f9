#pragma once
//
//  The application object: the thread object of the program's main thread. A program defines
//  one static instance of its CWinApp subclass; its wWinMain hands over to AfxWinMain, which
//  runs InitInstance and, when that succeeds, the message loop. Windows builds only.
//
#include "classlib/CCommandLineInfo.h"
#include "classlib/CWinThread.h"

class CWinApp : public CWinThread {
public:
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;

    // Hands every parameter of the program's command line to info.
    void ParseCommandLine(CCommandLineInfo& info);

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    LPCWSTR m_pszAppName = nullptr;
};

// The program's application object, or null when it has none.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// The program's main: InitInstance, then the loop when it returned TRUE, else ExitInstance.
// The program's result is the loop's or ExitInstance's; -1 without an application object.
int AfxWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
