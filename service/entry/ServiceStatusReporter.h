#pragma once
//
//  The one owner of the service's SERVICE_STATUS: every report goes through it, from the
//  service's main thread and from the control handler alike. Windows builds only.
//
#include <windows.h>

#include <mutex>

namespace Quelmar {

class ServiceStatusReporter {
public:
    void Attach(SERVICE_STATUS_HANDLE handle);
    SERVICE_STATUS_HANDLE Handle() const { return handle_; }

    // No control is accepted while the service starts, then only session changes; pending
    // states carry a fresh check point.
    BOOL Report(DWORD state, DWORD win32ExitCode, DWORD waitHint);
    // The current state again, exit code 0; nothing once SERVICE_STOPPED was reported.
    BOOL ReportCurrent();
    // The state with exit code 0, unless SERVICE_STOPPED was reported already (TRUE then).
    BOOL ReportUnlessStopped(DWORD state);
    DWORD CurrentState();

private:
    BOOL ReportLocked(DWORD state, DWORD win32ExitCode, DWORD waitHint);
    BOOL ReportUnlessStoppedLocked(DWORD state);

    std::mutex lock_;
    SERVICE_STATUS_HANDLE handle_ = nullptr;
    SERVICE_STATUS status_ = {0x130, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    DWORD checkPoint_ = 1;
};

}  // namespace Quelmar
