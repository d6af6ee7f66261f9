#include "tool/tests/exit_windows_interpose.h"

#include "testbed/machine/interpose.h"

#include <atomic>

namespace tooltest {
namespace {

std::atomic<unsigned> g_calls{0};
std::atomic<UINT> g_flags{0};

BOOL WINAPI RecordExitWindowsEx(UINT flags, DWORD)
{
    ++g_calls;
    g_flags = flags;
    return TRUE;
}

}  // namespace

unsigned ExitWindowsCalls()
{
    return g_calls;
}

UINT LastExitWindowsFlags()
{
    return g_flags;
}

}  // namespace tooltest

TESTBED_INTERPOSE(ExitWindowsEx, 8, tooltest::RecordExitWindowsEx)
