#pragma once
//
//  The receiver's application object: one instance per session, a hidden window, and the
//  message loop that runs until the window is destroyed.
//
#include "classlib/CWinApp.h"
#include "session/receiver/OblanetWnd.h"
#include "session/receiver/SessionSingleInstance.h"

#include <memory>

class COblanetApp : public CWinApp {
public:
    COblanetApp() : CWinApp(L"QEVRINdcr") {}
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // Made with the application object, so that a second start finds it taken.
    SessionSingleInstance instance_;
    std::unique_ptr<COblanetWnd> window_;
};
