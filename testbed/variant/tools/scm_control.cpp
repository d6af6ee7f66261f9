//
//  qevrin_scm_control: sends a user-defined control to a service through the service control
//  manager, which Wine's sc cannot do, or reports the service's state.
//
//      qevrin_scm_control SERVICE CODE     CODE 128-255; prints the state that follows
//      qevrin_scm_control SERVICE query    prints "state S exit E specific X"
//
//  Exit code 0 on success, 1 for a wrong command line, 2 when the service control manager
//  refuses (its error is printed).
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>

namespace {

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser> ScopedServiceHandle;

int Failed(const char* what)
{
    std::printf("%s failed: error %lu\n", what, static_cast<unsigned long>(GetLastError()));
    return 2;
}

void Print(const SERVICE_STATUS& status)
{
    std::printf("state %lu exit %lu specific %lu\n", static_cast<unsigned long>(status.dwCurrentState),
                static_cast<unsigned long>(status.dwWin32ExitCode),
                static_cast<unsigned long>(status.dwServiceSpecificExitCode));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::printf("usage: qevrin_scm_control SERVICE CODE|query\n");
        return 1;
    }
    const bool query = std::wcscmp(argv[2], L"query") == 0;
    unsigned long code = 0;
    if (!query) {
        wchar_t* end = nullptr;
        code = std::wcstoul(argv[2], &end, 10);
        if (!end || *end != 0 || code < 128 || code > 255) {
            std::printf("the control must be a user-defined code from 128 to 255\n");
            return 1;
        }
    }
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Failed("OpenSCManagerW");
    ScopedServiceHandle service(
        OpenServiceW(manager.get(), argv[1], SERVICE_QUERY_STATUS | (query ? 0 : SERVICE_USER_DEFINED_CONTROL)));
    if (!service)
        return Failed("OpenServiceW");
    SERVICE_STATUS status = {};
    if (query) {
        if (!QueryServiceStatus(service.get(), &status))
            return Failed("QueryServiceStatus");
    } else if (!ControlService(service.get(), static_cast<DWORD>(code), &status)) {
        return Failed("ControlService");
    }
    Print(status);
    return 0;
}
