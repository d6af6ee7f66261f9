#pragma once
//
//  The setting tool opened on the simulated PC against the running service: its main sheet is
//  photographed and closed again, as a user would cancel it.
//
#include <string>

namespace demo {

struct SheetSeen {
    bool ok = false;
    int tabs = 0;
    std::string detail;  // what went wrong, or what was seen
};

// Starts the program, waits for its main sheet, saves the bitmap at `screenshot`, cancels the
// sheet and waits for the program to end; a program left running is ended.
SheetSeen OpenMainSheet(const std::wstring& program, const std::wstring& screenshot);

}  // namespace demo
