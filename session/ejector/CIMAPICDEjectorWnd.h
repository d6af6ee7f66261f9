#pragma once
//
//  The ejector's hidden main window: it receives the system's device-change broadcasts and
//  hands every media arrival in a drive to the ejector thread. It owns that thread and stops
//  it when the window is destroyed. Windows builds only.
//
#include "classlib/CWnd.h"

class CIMAPIEjectorThread;

class CIMAPICDEjectorWnd : public CWnd {
public:
    // A hidden window with its ejector thread (none when no ejector implementation can be
    // created); null when the window cannot be created. The window deletes itself after its
    // destruction.
    static CIMAPICDEjectorWnd* CreateHidden();

    LRESULT OnDeviceChange(UINT eventType, DWORD_PTR data) override;
    bool HasEjectorThread() const { return thread_ != nullptr; }

protected:
    CIMAPICDEjectorWnd() = default;
    ~CIMAPICDEjectorWnd() override;
    void PostNcDestroy() override;

private:
    CIMAPIEjectorThread* thread_ = nullptr;
};
