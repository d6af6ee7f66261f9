#include "tool/tests/tool_process.h"

#include <vector>

std::wstring ToolProgramPath()
{
    // The build names the program by its host path; Wine shows the host's root as drive Z.
    const char* hostPath = QEVRIN_TOOL_PROGRAM;
    std::wstring path = L"Z:";
    for (const char* c = hostPath; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    }
    return path;
}

ToolProcess::ToolProcess(const std::wstring& arguments)
{
    std::wstring line = L"\"" + ToolProgramPath() + L"\"";
    if (!arguments.empty()) {
        line += L" " + arguments;
    }
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        process_.Reset(info.hProcess);
        thread_.Reset(info.hThread);
        threadId_ = info.dwThreadId;
    }
}

ToolProcess::~ToolProcess()
{
    if (WaitForExit(0) == STILL_ACTIVE) {
        Terminate();
    }
}

DWORD ToolProcess::WaitForExit(DWORD timeoutMs)
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

void ToolProcess::Terminate()
{
    if (process_.IsValid()) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 10000);
    }
}
