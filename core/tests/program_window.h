#pragma once
//
//  The top-level window of a program that a test started, hidden or not. The system gives every
//  thread with windows a hidden input-method window (class "IME") of its own, before or after
//  the program's in the window list; a test that took that one would send its messages nowhere.
//
#include <windows.h>

namespace program_window_detail {

struct Search {
    DWORD processId;
    HWND found;
};

// A named callback: an x86 lambda cannot become a WINAPI (stdcall) function.
inline BOOL CALLBACK MatchProgramWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"IME") == 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace program_window_detail

// The program's own top-level window; null while it has none.
inline HWND ProgramWindowOf(DWORD processId)
{
    program_window_detail::Search search = {processId, nullptr};
    EnumWindows(program_window_detail::MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
