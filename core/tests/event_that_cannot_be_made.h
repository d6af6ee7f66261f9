#pragma once
//
//  An event that cannot be made, armed for one CreateEventW on the thread that arms it, as an
//  exhausted system answers. It takes over the test program's CreateEventW import, so exactly
//  one source file of a test program includes it.
//
#include "testbed/machine/interpose.h"

namespace {

thread_local bool failNextEventHere = false;

HANDLE WINAPI FailingCreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    static auto real = testbed::RealFunction<decltype(&::CreateEventW)>(L"kernel32.dll", "CreateEventW");
    if (failNextEventHere) {
        failNextEventHere = false;
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return nullptr;
    }
    return real(security, manualReset, initialState, name);
}

}  // namespace

TESTBED_INTERPOSE(CreateEventW, 16, FailingCreateEventW)
