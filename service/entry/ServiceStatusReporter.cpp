#include "service/entry/ServiceStatusReporter.h"

namespace Quelmar {

void ServiceStatusReporter::Attach(SERVICE_STATUS_HANDLE handle)
{
    std::lock_guard<std::mutex> guard(lock_);
    handle_ = handle;
    checkPoint_ = 1;
}

BOOL ServiceStatusReporter::Report(DWORD state, DWORD win32ExitCode, DWORD waitHint)
{
    std::lock_guard<std::mutex> guard(lock_);
    return ReportLocked(state, win32ExitCode, waitHint);
}

BOOL ServiceStatusReporter::ReportLocked(DWORD state, DWORD win32ExitCode, DWORD waitHint)
{
    status_.dwCurrentState = state;
    status_.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_SESSIONCHANGE;
    status_.dwWin32ExitCode = win32ExitCode;
    status_.dwServiceSpecificExitCode = 0;
    status_.dwWaitHint = waitHint;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
        status_.dwCheckPoint = 0;
    } else {
        status_.dwCheckPoint = checkPoint_++;
    }
    return SetServiceStatus(handle_, &status_);
}

BOOL ServiceStatusReporter::ReportCurrent()
{
    std::lock_guard<std::mutex> guard(lock_);
    return ReportUnlessStoppedLocked(status_.dwCurrentState);
}

BOOL ServiceStatusReporter::ReportUnlessStopped(DWORD state)
{
    std::lock_guard<std::mutex> guard(lock_);
    return ReportUnlessStoppedLocked(state);
}

BOOL ServiceStatusReporter::ReportUnlessStoppedLocked(DWORD state)
{
    // One lock for reading and reporting: a stop reported in between is never undone, and a
    // late control does not report it again with exit code 0 over the code that said why.
    if (status_.dwCurrentState == SERVICE_STOPPED) {
        return TRUE;
    }
    return ReportLocked(state, 0, 0);
}

DWORD ServiceStatusReporter::CurrentState()
{
    std::lock_guard<std::mutex> guard(lock_);
    return status_.dwCurrentState;
}

}  // namespace Quelmar
