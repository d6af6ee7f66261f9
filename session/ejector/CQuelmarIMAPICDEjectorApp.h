#pragma once
//
//  The CD/DVD ejector's application object: one instance per session, COM for the choice of
//  the ejector implementation, and the hidden window whose message loop keeps the program
//  running. Windows builds only.
//
#include "classlib/CWinApp.h"
#include "classlib/ScopedCoInitialize.h"
#include "session/ejector/CdEjectorInstanceMutex.h"

#include <optional>

class CQuelmarIMAPICDEjectorApp : public CWinApp {
public:
    CQuelmarIMAPICDEjectorApp() : CWinApp(L"QEVRINcde") {}

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // Made, owned, with the application object, so that a second instance finds it at once.
    CdEjectorInstanceMutex instance_;
    std::optional<ScopedCoInitialize> com_;
};
