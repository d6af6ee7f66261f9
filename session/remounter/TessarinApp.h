#pragma once
//
//  The drive remounter's application object: the work is done in InitInstance, which returns
//  FALSE so that the program ends without a message loop.
//
#include "classlib/CWinApp.h"

class CTessarinApp : public CWinApp {
public:
    CTessarinApp() : CWinApp(L"QEVRINrmt") {}
    BOOL InitInstance() override;
};
