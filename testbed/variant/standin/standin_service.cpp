//
//  A small service that stands in for QEVRINs until the service's own objects can be linked
//  into its test variant: it checks the driver as the service does, waits on the volume event
//  and writes each control and event it receives to "standin-events.txt" beside itself.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>
#include <dbt.h>
#include <wtsapi32.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
SERVICE_STATUS g_state = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
ScopedHandle g_stop;
ScopedHandle g_volumeEvent;
std::thread g_waiter;

void Note(const std::string& line)
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"standin-events.txt";
    ScopedHandle out(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    const std::string text = line + "\r\n";
    WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Report(DWORD state, DWORD exitCode)
{
    g_state.dwCurrentState = state;
    g_state.dwWin32ExitCode = exitCode;
    g_state.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_SESSIONCHANGE : 0;
    SetServiceStatus(g_status, &g_state);
}

void StopWaiter()
{
    if (g_waiter.joinable()) {
        SetEvent(g_stop.Get());
        g_waiter.join();
    }
}

DWORD WINAPI Handler(DWORD control, DWORD type, LPVOID data, LPVOID)
{
    if (control == SERVICE_CONTROL_DEVICEEVENT) {
        auto* broadcast = static_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(data);
        std::wstring name = broadcast ? broadcast->dbcc_name : L"";
        Note("device-event " + std::to_string(type) + " " + std::string(name.begin(), name.end()));
    } else if (control == SERVICE_CONTROL_SESSIONCHANGE) {
        auto* session = static_cast<WTSSESSION_NOTIFICATION*>(data);
        Note("session " + std::to_string(type) + " " + std::to_string(session ? session->dwSessionId : 0));
    } else if (control == 128) {
        Report(SERVICE_STOP_PENDING, 0);
        StopWaiter();
        Report(SERVICE_STOPPED, 0);
    } else {
        Note("control " + std::to_string(control));
        Report(g_state.dwCurrentState, 0);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    g_status = RegisterServiceCtrlHandlerExW(L"QEVRINs", Handler, nullptr);
    if (!g_status)
        return;
    Report(SERVICE_START_PENDING, 0);
    ScopedHandle driver;
    const DWORD start = GetTickCount();
    while (true) {
        driver.Reset(CreateFileW(L"\\\\.\\QEVRINd", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (driver.IsValid() || GetTickCount() - start >= 60000)
            break;
        Sleep(1000);
    }
    if (!driver.IsValid()) {
        const DWORD error = GetLastError();
        Report(SERVICE_STOPPED, error ? error : ERROR_FILE_NOT_FOUND);
        return;
    }
    driver.Reset();
    g_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_volumeEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, L"{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
    HANDLE event = g_volumeEvent.Get();
    g_waiter = std::thread([event] {
        HANDLE waits[] = {g_stop.Get(), event};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            ResetEvent(event);
            Note("volume-event");
        }
    });
    Report(SERVICE_RUNNING, 0);
}

}  // namespace

int wmain()
{
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"QEVRINs"), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
