#include "tool/tests/tool_process.h"

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

ToolProcess::ToolProcess(const std::wstring& arguments) : ChildProcess(ToolProgramPath(), arguments) {}
