#pragma once
//
//  The receiver's hidden window: every WM_DEVICECHANGE it receives goes to the service as the
//  devices-changed command, and then gets the default answer.
//
#include "classlib/CWnd.h"

#include <memory>

class COblanetWnd : public CWnd {
public:
    // The hidden window, or null when its class cannot be registered or it cannot be created.
    static std::unique_ptr<COblanetWnd> CreateHidden();

    LRESULT OnDeviceChange(UINT eventType, DWORD_PTR data) override;

protected:
    // The program ends with its window.
    void PostNcDestroy() override;
};

// Tells the service that devices changed: connects within 50 ms or drops the change, and
// waits a bounded time for the reply, since the sender of WM_DEVICECHANGE waits for us.
void ForwardDeviceChange();
