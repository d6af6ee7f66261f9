#include "classlib/CCommandLineInfo.h"

#include "classlib/ScopedLocalMemory.h"

#include <shellapi.h>

#include <string>

void CCommandLineInfo::ParseParam(const wchar_t*, BOOL, BOOL)
{
}

BOOL CCommandLineInfo::ParseCommandLine(const wchar_t* arguments)
{
    if (arguments == nullptr || arguments[0] == L'\0') {
        return TRUE;
    }
    // The system splits a whole command line whose first word is the program; give it one.
    std::wstring line = L"program ";
    line += arguments;
    int count = 0;
    ScopedLocalMemory<LPWSTR> owner;
    *owner.Receive() = CommandLineToArgvW(line.c_str(), &count);
    LPWSTR* words = owner.Get();
    if (words == nullptr) {
        return FALSE;
    }
    for (int i = 1; i < count; ++i) {
        const wchar_t* param = words[i];
        BOOL flag = FALSE;
        if (param[0] == L'/' || param[0] == L'-') {
            flag = TRUE;
            ++param;
        }
        ParseParam(param, flag, i + 1 == count);
    }
    return TRUE;
}
