#include "tool/tests/child_process.h"

#include <vector>

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring line = L"\"" + program + L"\"";
    if (!arguments.empty()) {
        line += L" " + arguments;
    }
    // CreateProcessW may write into its command line.
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        process_.Reset(info.hProcess);
        thread_.Reset(info.hThread);
        threadId_ = info.dwThreadId;
    } else {
        startError_ = GetLastError();
    }
}

ChildProcess::~ChildProcess()
{
    if (WaitForExit(0) == STILL_ACTIVE) {
        Terminate();
    }
}

DWORD ChildProcess::WaitForExit(DWORD timeoutMs) const
{
    if (!process_.IsValid()) {
        return 0;
    }
    if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.Get(), &code);
    return code;
}

void ChildProcess::Terminate()
{
    if (process_.IsValid()) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 15000);
    }
}
