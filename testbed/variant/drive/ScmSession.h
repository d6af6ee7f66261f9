#pragma once
//
//  What the end-to-end tests do with Wine's service control manager: install the test variant
//  where the product lives, start it with net, send it user-defined controls, wait for its
//  states, and take it away again. Every wait is bounded.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace scmtest {

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser> ScopedServiceHandle;

struct ProgramRun {
    DWORD exitCode = 0;
    std::string output;  // stdout and stderr together
    bool finished = false;
    DWORD processId = 0;
};

// Runs a command line and collects what it prints; gives up after the time-out.
ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds = 60000);

// A Linux path of the build as Wine's Z: drive shows it.
std::wstring WindowsPath(const std::string& hostPath);

std::string ReadText(const std::wstring& path);
bool WriteText(const std::wstring& path, const std::string& text);

class ScmSession {
public:
    static const wchar_t kServiceName[];
    static const wchar_t kFolder[];
    static const wchar_t kProgram[];

    // Copies the variant to the product's folder with the scenario beside it.
    bool Install(const std::wstring& variant, const std::string& scenario, std::string& error);
    // Copies a further program's variant (a session program the service starts) beside the
    // service's as `fileName`; it gets the same scenario as the service from now on.
    bool InstallProgram(const std::wstring& variant, const wchar_t* fileName, std::string& error);
    // The scenario beside every installed program.
    void RewriteScenario(const std::string& scenario);
    // sc create with the path that holds a blank, quoted.
    ProgramRun Create();
    ProgramRun NetStart();
    ProgramRun NetStop();
    // ControlService from this process; false with the error.
    bool Control(DWORD code, SERVICE_STATUS& status);
    bool Query(SERVICE_STATUS& status);
    // The service's process while it runs, else 0.
    DWORD ProcessId();
    // Polls the state until it is `state` or the time is up; the last status seen.
    bool WaitForState(DWORD state, DWORD timeoutMilliseconds, SERVICE_STATUS& status);
    // Stops a running variant with control 128 and deletes the service and its files; returns
    // once the service's name is free again.
    void Remove();

    std::wstring Beside(const std::wstring& name) const { return std::wstring(kFolder) + L"\\" + name; }

private:
    ScopedServiceHandle Open(DWORD access);
    // Polls until the service control manager no longer knows the service.
    bool WaitUntilDeleted(DWORD timeoutMilliseconds);

    std::vector<std::wstring> programs_;  // further programs' file names
};

}  // namespace scmtest
