#pragma once
//
//  The real QEVRINTool.exe of this build, started as a child of the test.
//
#include "tool/tests/child_process.h"

#include <string>

class ToolProcess : public ChildProcess {
public:
    explicit ToolProcess(const std::wstring& arguments);
};

// The program file of the build's QEVRINTool.exe, as a Windows path.
std::wstring ToolProgramPath();
