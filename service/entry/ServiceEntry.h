#pragma once
//
//  The service's outermost layer: the dispatcher, the service main function with its status
//  reports, and the control handler. The handler only reports and posts: device events,
//  logon, logoff and the stop (user control 128) are carried out on the service main
//  function's thread, which stays as the service's control thread while the service runs.
//  Windows builds only.
//
#include <windows.h>

namespace Quelmar {

#define QUELMAR_SERVICE_NAME L"QEVRINs"

// The thread messages of the control thread.
enum : UINT {
    WM_SERVICE_DEVICE_EVENT = WM_APP + 101,
    WM_SERVICE_LOGON = WM_APP + 102,
    WM_SERVICE_LOGOFF = WM_APP + 103,
    WM_SERVICE_STOP = WM_APP + 104,
};

// The user-defined control that stops the service.
const DWORD SERVICE_CONTROL_QUELMAR_STOP = 128;

// The program's entry: the dispatcher with the one service. 0 when the dispatcher returns.
int RunServiceDispatcher();

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// Makes the calling thread the one the control handler posts to (its queue first).
void AttachControlThread();
// Carries out the posted controls until the stop; the stop ends with SERVICE_STOPPED.
void RunControlLoop();

// The exit code of a start that failed: the error captured where it failed, never 0.
DWORD StartFailureCode(DWORD capturedError);

}  // namespace Quelmar
