#include "registry_call_recorder.h"

#include "testbed/machine/interpose.h"

#include <utility>

namespace registrytest {
namespace {

thread_local KeyRequestRecording* g_recording = nullptr;
thread_local FailingValueWrite* g_failingWrite = nullptr;

LONG WINAPI FailableRegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                   DWORD size)
{
    static auto real = testbed::RealFunction<decltype(&::RegSetValueExW)>(L"advapi32.dll", "RegSetValueExW");
    if (g_failingWrite && valueName && g_failingWrite->ValueName() == valueName)
        return ERROR_ACCESS_DENIED;
    return real(key, valueName, reserved, type, data, size);
}

LONG WINAPI RecordingRegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                     LPDWORD disposition)
{
    static auto real = testbed::RealFunction<decltype(&::RegCreateKeyExW)>(L"advapi32.dll", "RegCreateKeyExW");
    DWORD seen = 0;
    LONG error = real(key, subKey, reserved, keyClass, options, access, security, result, &seen);
    if (disposition)
        *disposition = seen;
    if (g_recording)
        g_recording->Add(KeyRequest{KeyRequest::Create, subKey ? subKey : L"", access, seen});
    return error;
}

LONG WINAPI RecordingRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    static auto real = testbed::RealFunction<decltype(&::RegOpenKeyExW)>(L"advapi32.dll", "RegOpenKeyExW");
    if (g_recording)
        g_recording->Add(KeyRequest{KeyRequest::Open, subKey ? subKey : L"", access, 0});
    return real(key, subKey, options, access, result);
}

}  // namespace

KeyRequestRecording::KeyRequestRecording()
{
    g_recording = this;
}

KeyRequestRecording::~KeyRequestRecording()
{
    g_recording = nullptr;
}

FailingValueWrite::FailingValueWrite(std::wstring valueName) : valueName_(std::move(valueName))
{
    g_failingWrite = this;
}

FailingValueWrite::~FailingValueWrite()
{
    g_failingWrite = nullptr;
}

}  // namespace registrytest

TESTBED_INTERPOSE(RegCreateKeyExW, 36, registrytest::RecordingRegCreateKeyExW)
TESTBED_INTERPOSE(RegOpenKeyExW, 20, registrytest::RecordingRegOpenKeyExW)
TESTBED_INTERPOSE(RegSetValueExW, 24, registrytest::FailableRegSetValueExW)
