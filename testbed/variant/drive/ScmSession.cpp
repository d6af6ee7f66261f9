#include "testbed/variant/drive/ScmSession.h"

#include <tlhelp32.h>

#include <vector>

namespace scmtest {

namespace {

// Ends every process that runs the installed variant. A variant whose service has reported
// STOPPED can hang in the runtime's exit handlers and keep its program file open; the next
// install must not wait on it for ever.
void EndLingeringVariants()
{
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID));
        if (!process.IsValid())
            continue;
        wchar_t image[MAX_PATH];
        DWORD length = MAX_PATH;
        if (QueryFullProcessImageNameW(process.Get(), 0, image, &length) &&
            CompareStringOrdinal(image, -1, ScmSession::kProgram, -1, TRUE) == CSTR_EQUAL) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
        }
    }
}

}  // namespace

const wchar_t ScmSession::kServiceName[] = L"QEVRINs";
const wchar_t ScmSession::kFolder[] = L"C:\\Program Files\\QEVRIN";
const wchar_t ScmSession::kProgram[] = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";

ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds)
{
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    ScopedHandle readEnd;
    ScopedHandle writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0))
        return run;
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        run.output = "cannot start: error " + std::to_string(GetLastError());
        return run;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    run.processId = process.dwProcessId;
    writeEnd.Reset();
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    char buffer[4096];
    while (true) {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD read = 0;
            if (!ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) || read == 0)
                break;
            run.output.append(buffer, read);
        }
        if (WaitForSingleObject(processHandle.Get(), 20) == WAIT_OBJECT_0) {
            DWORD read = 0;
            while (PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
                   ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
                run.output.append(buffer, read);
            break;
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(processHandle.Get(), 1);
            run.output += " [timed out]";
            return run;
        }
    }
    GetExitCodeProcess(processHandle.Get(), &run.exitCode);
    run.finished = true;
    return run;
}

std::wstring WindowsPath(const std::string& hostPath)
{
    std::wstring path = L"Z:";
    for (char c : hostPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::string ReadText(const std::wstring& path)
{
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    std::string text;
    if (!file.IsValid())
        return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.IsValid() && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool ScmSession::Install(const std::wstring& variant, const std::string& scenario, std::string& error)
{
    CreateDirectoryW(kFolder, nullptr);
    // A variant that an earlier run stopped may still be on its way out, holding the program
    // file: give it a moment, then end it.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    bool ended = false;
    while (!CopyFileW(variant.c_str(), kProgram, FALSE)) {
        const DWORD failure = GetLastError();
        if ((failure != ERROR_SHARING_VIOLATION && failure != ERROR_ACCESS_DENIED) || ended) {
            error = "cannot copy the variant (error " + std::to_string(failure) + ")";
            return false;
        }
        if (GetTickCount64() >= deadline) {
            EndLingeringVariants();
            ended = true;
        } else {
            Sleep(100);
        }
    }
    DeleteFileW(Beside(L"QEVRINs.testbed-stopped.txt").c_str());
    DeleteFileW(Beside(L"QEVRINs.testbed.log").c_str());
    RewriteScenario(scenario);
    return true;
}

bool ScmSession::InstallProgram(const std::wstring& variant, const wchar_t* fileName, std::string& error)
{
    const std::wstring target = Beside(fileName);
    // A copy started earlier may still be on its way out and hold the file for a moment.
    for (int attempt = 0; !CopyFileW(variant.c_str(), target.c_str(), FALSE); ++attempt) {
        if (attempt == 100) {
            error = "cannot copy the variant to " + std::string(target.begin(), target.end()) + " (error " +
                    std::to_string(GetLastError()) + ")";
            return false;
        }
        Sleep(50);
    }
    std::wstring stem(fileName);
    stem.resize(stem.find_last_of(L'.') == std::wstring::npos ? stem.size() : stem.find_last_of(L'.'));
    for (const wchar_t* suffix : {L".testbed.log", L".testbed-shell.txt"})
        DeleteFileW(Beside(stem + suffix).c_str());
    programs_.push_back(stem);
    return true;
}

void ScmSession::RewriteScenario(const std::string& scenario)
{
    WriteText(Beside(L"QEVRINs.scenario"), scenario);
    for (const std::wstring& stem : programs_)
        WriteText(Beside(stem + L".scenario"), scenario);
}

DWORD ScmSession::ProcessId()
{
    ScopedServiceHandle service = Open(SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof(status), &needed))
        return 0;
    return status.dwProcessId;
}

ProgramRun ScmSession::Create()
{
    return RunProgram(std::wstring(L"sc.exe create ") + kServiceName + L" binPath= \"\\\"" + kProgram +
                      L"\\\"\" type= own start= demand");
}

ProgramRun ScmSession::NetStart() { return RunProgram(std::wstring(L"net.exe start ") + kServiceName); }

ProgramRun ScmSession::NetStop() { return RunProgram(std::wstring(L"net.exe stop ") + kServiceName); }

ScopedServiceHandle ScmSession::Open(DWORD access)
{
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return nullptr;
    return ScopedServiceHandle(OpenServiceW(manager.get(), kServiceName, access));
}

bool ScmSession::Control(DWORD code, SERVICE_STATUS& status)
{
    ScopedServiceHandle service = Open(SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    return service && ControlService(service.get(), code, &status);
}

bool ScmSession::Query(SERVICE_STATUS& status)
{
    ScopedServiceHandle service = Open(SERVICE_QUERY_STATUS);
    return service && QueryServiceStatus(service.get(), &status);
}

bool ScmSession::WaitUntilDeleted(DWORD timeoutMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (true) {
        ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ScopedServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS) : nullptr);
        if (manager && !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
}

bool ScmSession::WaitForState(DWORD state, DWORD timeoutMilliseconds, SERVICE_STATUS& status)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (true) {
        if (Query(status) && status.dwCurrentState == state)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
}

void ScmSession::Remove()
{
    SERVICE_STATUS status = {};
    if (Query(status) && status.dwCurrentState != SERVICE_STOPPED) {
        Control(128, status);
        WaitForState(SERVICE_STOPPED, 20000, status);
    }
    if (ScopedServiceHandle service = Open(DELETE))
        DeleteService(service.get());
    // A service marked for deletion goes only when its process has ended, and until then its
    // name cannot be created again: a variant that hangs on its way out is ended.
    if (!WaitUntilDeleted(5000)) {
        EndLingeringVariants();
        WaitUntilDeleted(10000);
    }
    // The process may still be on its way out and hold its program file for a moment.
    for (int attempt = 0; attempt < 100 && !DeleteFileW(kProgram) && GetLastError() != ERROR_FILE_NOT_FOUND; ++attempt)
        Sleep(50);
    for (const std::wstring& stem : programs_)
        for (int attempt = 0; attempt < 100 && !DeleteFileW(Beside(stem + L".exe").c_str()) &&
                              GetLastError() != ERROR_FILE_NOT_FOUND;
             ++attempt)
            Sleep(50);
    programs_.clear();
}

}  // namespace scmtest
