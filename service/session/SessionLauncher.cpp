#include "service/session/SessionLauncher.h"

#include "classlib/ScopedHandle.h"
#include "core/process/DynamicLibrary.h"
#include "core/system/ProgramPaths.h"
#include "service/session/EnvironmentBlock.h"
#include "service/session/UserTokens.h"

#include <wtsapi32.h>

namespace Quelmar {

namespace {

// While a session is still being set up the system answers ERROR_PIPE_NOT_CONNECTED; the
// start is tried again every second for this long.
const DWORD kRetryStepMilliseconds = 1000;
const DWORD kRetryLimitMilliseconds = 10000;

// Wtsapi32 looked up at run time, as on systems that lack it.
class WtsApiLibrary : public DynamicLibrary {
public:
    typedef BOOL(WINAPI* QueryUserTokenFn)(ULONG, PHANDLE);
    WtsApiLibrary() : DynamicLibrary(L"Wtsapi32.dll") {}
    QueryUserTokenFn QueryUserToken = nullptr;

protected:
    BOOL Resolve() override
    {
        QueryUserToken = Entry<QueryUserTokenFn>("WTSQueryUserToken");
        return QueryUserToken != nullptr;
    }
    void Clear() override { QueryUserToken = nullptr; }
};

// CreateProcessAsUserW, tried again while the session is not ready; TRUE with the new
// process's handles owned by the caller's holders.
BOOL CreateProcessWithRetry(HANDLE token, const CString& path, const std::vector<WCHAR>& commandLine,
                            void* environment, ScopedHandle& process, ScopedHandle& thread, DWORD& processId)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOW;
    DWORD first = GetTickCount();
    for (;;) {
        // The system may write into the command line: every try gets its own copy.
        std::vector<WCHAR> writable(commandLine);
        PROCESS_INFORMATION info = {};
        if (CreateProcessAsUserW(token, path, writable.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                 environment, nullptr, &startup, &info)) {
            process.Reset(info.hProcess);
            thread.Reset(info.hThread);
            processId = info.dwProcessId;
            return TRUE;
        }
        if (GetLastError() != ERROR_PIPE_NOT_CONNECTED)
            return FALSE;
        Sleep(kRetryStepMilliseconds);
        DWORD now = GetTickCount();
        if (now < first || now - first > kRetryLimitMilliseconds)
            return FALSE;
    }
}

// Starts the program with a primary token made from the session's user token, which is
// closed as soon as the primary token exists; raised to high integrity when asked, and not
// started at all when that fails.
void LaunchWithUserToken(ScopedHandle& userToken, const std::vector<WCHAR>& commandLine, const CString& path,
                         BOOL highIntegrity)
{
    ScopedHandle primary;
    BOOL duplicated = DuplicateTokenEx(userToken.Get(), 0, nullptr, SecurityImpersonation, TokenPrimary, primary.Receive());
    userToken.Reset();
    if (!duplicated)
        return;
    if (highIntegrity && !SetHighIntegrityLevel(primary.Get()))
        return;
    EnvironmentBlock environment;
    if (!environment.Create(primary.Get()))
        return;
    ScopedHandle process;
    ScopedHandle thread;
    DWORD processId = 0;
    CreateProcessWithRetry(primary.Get(), path, commandLine, environment.Get(), process, thread, processId);
}

}  // namespace

CString GetServiceModuleFolder()
{
    const CString path = GetModuleFilePath();
    int slash = path.ReverseFind(L'\\');
    if (slash < 0)
        return CString();
    // A drive root keeps its backslash.
    if (slash == 2 && path[1] == L':')
        return path.Left(3);
    return path.Left(slash);
}

CString ProgramInFolder(const CString& folder, const WCHAR* fileName)
{
    CString path = folder;
    if (path.IsEmpty() || path[path.GetLength() - 1] != L'\\')
        path += L'\\';
    return path + fileName;
}

BOOL BuildCommandLine(const CString& path, const CString& arguments, std::vector<WCHAR>& commandLine)
{
    CString text = CString(L"\"") + path + L"\"";
    if (!arguments.IsEmpty())
        text += CString(L" ") + arguments;
    commandLine.clear();
    if (size_t(text.GetLength()) + 1 > kCommandLineChars)
        return FALSE;
    commandLine.assign(text.GetString(), text.GetString() + text.GetLength() + 1);
    return TRUE;
}

void LaunchInActiveConsoleSession(const CString& path, const CString& arguments)
{
    std::vector<WCHAR> commandLine;
    if (!BuildCommandLine(path, arguments, commandLine))
        return;
    DWORD session = WTSGetActiveConsoleSessionId();
    ScopedHandle userToken;
    if (!WTSQueryUserToken(session, userToken.Receive()))
        return;
    LaunchWithUserToken(userToken, commandLine, path, FALSE);
}

void LaunchInSession(const CString& path, const CString& arguments, DWORD sessionId, BOOL highIntegrity)
{
    std::vector<WCHAR> commandLine;
    if (!BuildCommandLine(path, arguments, commandLine))
        return;
    WtsApiLibrary wtsapi;
    if (!wtsapi.Load())
        return;
    ScopedHandle userToken;
    if (!wtsapi.QueryUserToken(sessionId, userToken.Receive()))
        return;
    LaunchWithUserToken(userToken, commandLine, path, highIntegrity);
}

void StartCdEjector(DWORD sessionId)
{
    // As the ejector watch starts it: the session's ejector counts only at high integrity.
    LaunchInSession(ProgramInFolder(GetServiceModuleFolder(), L"QEVRINcde.exe"), CString(), sessionId, TRUE);
}

DWORD StartProcessAsUser(const CString& path, HANDLE token)
{
    std::vector<WCHAR> commandLine;
    if (!BuildCommandLine(path, CString(), commandLine))
        return 0;
    EnvironmentBlock environment;
    if (!environment.Create(token))
        return 0;
    ScopedHandle process;
    ScopedHandle thread;
    DWORD processId = 0;
    if (!CreateProcessWithRetry(token, path, commandLine, environment.Get(), process, thread, processId))
        return 0;
    return processId;
}

}  // namespace Quelmar
