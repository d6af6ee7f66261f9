#include "service/entry/ServiceEntry.h"

#include "service/core/ServiceCore.h"
#include "service/entry/DeviceNotifications.h"
#include "service/entry/ServiceControlAccess.h"
#include "service/entry/ServiceStatusReporter.h"

#include <wtsapi32.h>

#include <atomic>
#include <clocale>

namespace Quelmar {

namespace {

const DWORD kStartWaitHint = 15000;

ServiceStatusReporter statusReporter;
DeviceNotifications deviceNotifications;
std::atomic<DWORD> controlThreadId{0};
std::atomic<bool> stopRequested{false};

bool PostControl(UINT message, WPARAM wParam)
{
    const DWORD thread = controlThreadId;
    return thread != 0 && PostThreadMessageW(thread, message, wParam, 0);
}

BOOL StartServiceWork(ServiceCore& core)
{
    if (!core.Start()) {
        return FALSE;
    }
    if (!deviceNotifications.Register(statusReporter.Handle())) {
        return FALSE;
    }
    return TRUE;
}

void StopServiceWork()
{
    ServiceCore* core = ServiceCore::GetInstance();
    if (core != nullptr) {
        core->Stop();
        ServiceCore::DeleteInstance();
    }
    deviceNotifications.Unregister();
}

}  // namespace

DWORD StartFailureCode(DWORD capturedError)
{
    return capturedError != ERROR_SUCCESS ? capturedError : ERROR_INTERNAL_ERROR;
}

int RunServiceDispatcher()
{
    setlocale(LC_ALL, "");
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<LPWSTR>(QUELMAR_SERVICE_NAME), &ServiceMain},
        {nullptr, nullptr},
    };
    StartServiceCtrlDispatcherW(table);
    return 0;
}

void AttachControlThread()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    stopRequested = false;
    controlThreadId = GetCurrentThreadId();
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    // The queue exists before the handler can post to it.
    AttachControlThread();
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(QUELMAR_SERVICE_NAME, &ServiceControlHandler, nullptr);
    if (handle == nullptr) {
        return;
    }
    statusReporter.Attach(handle);

    DWORD error = ERROR_SUCCESS;
    bool workStarted = false;
    if (!statusReporter.Report(SERVICE_START_PENDING, 0, kStartWaitHint)) {
        error = GetLastError();
    } else {
        // Without this every interactive user could stop enforcement with control 128. A list
        // that cannot be narrowed does not keep the enforcement from starting; it is tried
        // again at each event that reaches the core until it holds.
        NarrowControlAccess(QUELMAR_SERVICE_NAME);
        ServiceCore* core = ServiceCore::CreateInstance();
        if (core == nullptr) {
            error = GetLastError();
        } else if (!core->CheckDriver()) {
            error = GetLastError();
            ServiceCore::DeleteInstance();
        } else {
            workStarted = true;
            if (StartServiceWork(*core)) {
                if (statusReporter.Report(SERVICE_RUNNING, 0, 0)) {
                    RunControlLoop();
                    return;
                }
            }
            error = GetLastError();
        }
    }
    if (workStarted) {
        statusReporter.Report(SERVICE_STOP_PENDING, 0, 0);
        StopServiceWork();
    }
    controlThreadId = 0;
    statusReporter.Report(SERVICE_STOPPED, StartFailureCode(error), 0);
}

void RunControlLoop()
{
    DWORD exitCode = ERROR_SUCCESS;
    MSG msg;
    for (bool running = true; running;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            exitCode = StartFailureCode(GetLastError());
            break;
        }
        if (got == 0) {
            // Nothing in the service posts a quit: whoever did, the stop it forces is not a
            // clean one.
            exitCode = ERROR_REQUEST_ABORTED;
            break;
        }
        // After the stop there is no core: a late control finds none and does nothing.
        ServiceCore* core = ServiceCore::GetInstance();
        switch (msg.message) {
        case WM_SERVICE_DEVICE_EVENT:
            if (core != nullptr) {
                core->OnDeviceEvent();
            }
            break;
        case WM_SERVICE_LOGON:
            if (core != nullptr) {
                core->OnSessionLogon(static_cast<DWORD>(msg.wParam));
            }
            break;
        case WM_SERVICE_LOGOFF:
            if (core != nullptr) {
                core->OnSessionLogoff();
            }
            break;
        case WM_SERVICE_STOP:
            running = false;
            break;
        default:
            break;
        }
    }
    // Every way out of the loop ends the work; only control 128 has announced it already.
    if (!stopRequested.exchange(true)) {
        statusReporter.Report(SERVICE_STOP_PENDING, 0, 0);
    }
    StopServiceWork();
    controlThreadId = 0;
    statusReporter.Report(SERVICE_STOPPED, exitCode, 0);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_DEVICEEVENT:
        PostControl(WM_SERVICE_DEVICE_EVENT, 0);
        break;
    case SERVICE_CONTROL_SESSIONCHANGE: {
        const WTSSESSION_NOTIFICATION* notification = static_cast<const WTSSESSION_NOTIFICATION*>(eventData);
        if (eventType == WTS_SESSION_LOGON) {
            // A logon without its record names no session to start anything in.
            if (notification != nullptr && notification->cbSize >= sizeof(WTSSESSION_NOTIFICATION)) {
                PostControl(WM_SERVICE_LOGON, notification->dwSessionId);
            }
        } else if (eventType == WTS_SESSION_LOGOFF) {
            PostControl(WM_SERVICE_LOGOFF, 0);
        }
        statusReporter.ReportCurrent();
        break;
    }
    case SERVICE_CONTROL_QUELMAR_STOP:
        if (!stopRequested.exchange(true)) {
            if (PostControl(WM_SERVICE_STOP, 0)) {
                // The control thread may have finished the stop already; STOPPED stays.
                statusReporter.ReportUnlessStopped(SERVICE_STOP_PENDING);
            } else {
                // Nothing will carry the stop out: the service keeps its state and the next
                // 128 is taken again.
                stopRequested = false;
            }
        }
        break;
    default:
        statusReporter.ReportCurrent();
        break;
    }
    return NO_ERROR;
}

}  // namespace Quelmar
