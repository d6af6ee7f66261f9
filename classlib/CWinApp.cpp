#include "classlib/CWinApp.h"

namespace {

CWinApp* application = nullptr;

}  // namespace

CWinApp::CWinApp(LPCWSTR appName) : m_pszAppName(appName)
{
    // A static object: it outlives its thread and must never delete itself.
    m_bAutoDelete = FALSE;
    application = this;
}

CWinApp::~CWinApp()
{
    if (application == this) {
        application = nullptr;
    }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    info.ParseCommandLine(m_lpCmdLine);
}

CWinApp* AfxGetApp()
{
    return application;
}

HINSTANCE AfxGetInstanceHandle()
{
    return application != nullptr ? application->m_hInstance : GetModuleHandleW(nullptr);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return -1;
    }
    app->m_hInstance = instance;
    app->m_lpCmdLine = commandLine;
    app->m_nCmdShow = showCommand;
    app->m_nThreadID = GetCurrentThreadId();
    if (app->m_hThread == nullptr) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &app->m_hThread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    // The main thread's queue, before anything may post to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (!app->InitInstance()) {
        return app->ExitInstance();
    }
    return app->Run();
}
