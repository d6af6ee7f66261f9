#pragma once
//
//  The program's command line, parameter by parameter. ParseCommandLine splits it as the
//  system does, takes a leading "/" or "-" off a parameter and calls ParseParam with the flag
//  indicator set; the last parameter is marked. Windows builds only.
//
#include <windows.h>

class CCommandLineInfo {
public:
    CCommandLineInfo() = default;
    virtual ~CCommandLineInfo() = default;

    virtual void ParseParam(const wchar_t* param, BOOL flag, BOOL last);
    // Parses commandLine without the program name (everything after it, as the program's
    // arguments); FALSE when the system cannot split it.
    BOOL ParseCommandLine(const wchar_t* arguments);
};
