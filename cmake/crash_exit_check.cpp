//
//  Checks the Wine prefix that runs the tests: a program that crashes must end at once with its
//  exception as its exit code. With a display, Wine's crash handler would otherwise show its
//  dialog and hold the crashed program, and with it the whole suite, until its time limit.
//
//  Without arguments it starts itself with "crash" and waits a bounded time for that copy,
//  which writes through a null pointer. Exit 0 when the copy ended with the access violation
//  in time, 1 otherwise (the copy is then ended).
//
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

// Far beyond what a crash costs when no dialog waits (about a second), far below a suite's limit.
const DWORD kCrashLimitMs = 20000;

[[noreturn]] void CrashThroughNullPointer()
{
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
    ExitProcess(2);
}

int CheckThatACrashEnds()
{
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        std::printf("crash check: own path not found (error %lu)\n", GetLastError());
        return 1;
    }
    wchar_t commandLine[MAX_PATH + 16] = {};
    std::swprintf(commandLine, sizeof commandLine / sizeof commandLine[0], L"\"%ls\" crash", self);
    // Wine's debugger prints a long report of the crash to the crashed copy's output; the check
    // needs only its end.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nowhere = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (nowhere != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
    }
    PROCESS_INFORMATION child = {};
    const BOOL started = CreateProcessW(self, commandLine, nullptr, nullptr, nowhere != INVALID_HANDLE_VALUE, 0,
                                        nullptr, nullptr, &startup, &child);
    if (nowhere != INVALID_HANDLE_VALUE) {
        CloseHandle(nowhere);
    }
    if (!started) {
        std::printf("crash check: the crashing copy did not start (error %lu)\n", GetLastError());
        return 1;
    }
    CloseHandle(child.hThread);
    const DWORD start = GetTickCount();
    const DWORD waited = WaitForSingleObject(child.hProcess, kCrashLimitMs);
    const DWORD elapsed = GetTickCount() - start;
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(child.hProcess, &exitCode);
    int result = 0;
    if (waited != WAIT_OBJECT_0) {
        std::printf("crash check: the crashed copy still runs after %lu ms; a crash dialog holds it\n", elapsed);
        TerminateProcess(child.hProcess, 1);
        result = 1;
    } else if (exitCode != static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) {
        std::printf("crash check: the crashed copy ended with 0x%08lX, not 0xC0000005\n", exitCode);
        result = 1;
    } else {
        std::printf("crash check: the crashed copy ended with 0x%08lX after %lu ms\n", exitCode, elapsed);
    }
    CloseHandle(child.hProcess);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "crash") == 0) {
        CrashThroughNullPointer();
    }
    return CheckThatACrashEnds();
}
