//
//  The variant's hold on the program's service entry: the runtime starts where the program
//  calls the service control dispatcher and ends when that call returns; the program's control
//  handler is wrapped so that testbed-reserved user controls become device and session events;
//  the stopped report leaves the driver's table beside the program; the program's own service
//  access list is recorded (or refused, or made to run out of memory, as the scenario asks).
//
#include "testbed/machine/interpose.h"
#include "testbed/variant/Records.h"
#include "testbed/variant/VariantRuntime.h"

#include <sddl.h>

#include <mutex>
#include <new>

namespace testbed {
namespace variant {
namespace {

struct ProgramHandler {
    std::mutex lock;
    LPHANDLER_FUNCTION_EX handler = nullptr;
    LPVOID context = nullptr;
};

ProgramHandler& Program()
{
    static ProgramHandler* program = new ProgramHandler;
    return *program;
}

DWORD WINAPI WrappedHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID)
{
    LPHANDLER_FUNCTION_EX handler;
    LPVOID context;
    {
        std::lock_guard<std::mutex> hold(Program().lock);
        handler = Program().handler;
        context = Program().context;
    }
    if (!handler)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!IsReservedControl(control))
        return handler(control, eventType, eventData, context);
    VariantRuntime* runtime = VariantRuntime::Current();
    TranslatedControl translated;
    if (!runtime || !runtime->Translate(control, translated))
        return ERROR_CALL_NOT_IMPLEMENTED;
    runtime->Log("control " + std::to_string(control) + " delivered as " + std::to_string(translated.control) + "/" +
                 std::to_string(translated.eventType));
    // Still on the dispatcher's thread, as the service control manager's own events are.
    return handler(translated.control, translated.eventType, translated.Data(), context);
}

SERVICE_STATUS_HANDLE WINAPI TestbedRegisterServiceCtrlHandlerExW(LPCWSTR name, LPHANDLER_FUNCTION_EX handler, LPVOID context)
{
    static auto real =
        RealFunction<decltype(&::RegisterServiceCtrlHandlerExW)>(L"advapi32.dll", "RegisterServiceCtrlHandlerExW");
    if (!handler)
        return real(name, handler, context);
    {
        std::lock_guard<std::mutex> hold(Program().lock);
        Program().handler = handler;
        Program().context = context;
    }
    return real(name, WrappedHandler, nullptr);
}

BOOL WINAPI TestbedSetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    static auto real = RealFunction<decltype(&::SetServiceStatus)>(L"advapi32.dll", "SetServiceStatus");
    if (status && status->dwCurrentState == SERVICE_STOPPED)
        if (VariantRuntime* runtime = VariantRuntime::Current())
            runtime->ReportStopped(*status);
    return real(handle, status);
}

BOOL WINAPI TestbedSetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION which,
                                            PSECURITY_DESCRIPTOR descriptor)
{
    static auto real = RealFunction<decltype(&::SetServiceObjectSecurity)>(L"advapi32.dll", "SetServiceObjectSecurity");
    VariantRuntime* runtime = VariantRuntime::Current();
    if (runtime && runtime->ServiceSecurityRunsOutOfMemory()) {
        runtime->Log("service access list out of memory, as the scenario asks");
        throw std::bad_alloc();
    }
    if (runtime && runtime->RefuseServiceSecurity()) {
        runtime->Log("service access list refused, as the scenario asks");
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    LPSTR sddl = nullptr;
    if (descriptor && (which & DACL_SECURITY_INFORMATION) &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl,
                                                             nullptr)) {
        RecordServiceSecurity(sddl);
        LocalFree(sddl);
    }
    return real(service, which, descriptor);
}

BOOL WINAPI TestbedStartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table)
{
    static auto real =
        RealFunction<decltype(&::StartServiceCtrlDispatcherW)>(L"advapi32.dll", "StartServiceCtrlDispatcherW");
    std::unique_ptr<VariantRuntime> runtime = VariantRuntime::Start();
    if (!runtime) {
        // The program's code never runs on a PC that could not be built.
        SetLastError(ERROR_BAD_CONFIGURATION);
        return FALSE;
    }
    const BOOL result = real(table);
    const DWORD error = GetLastError();
    runtime.reset();
    SetLastError(error);
    return result;
}

}  // namespace
}  // namespace variant
}  // namespace testbed

TESTBED_INTERPOSE(StartServiceCtrlDispatcherW, 4, testbed::variant::TestbedStartServiceCtrlDispatcherW)
TESTBED_INTERPOSE(RegisterServiceCtrlHandlerExW, 12, testbed::variant::TestbedRegisterServiceCtrlHandlerExW)
TESTBED_INTERPOSE(SetServiceStatus, 8, testbed::variant::TestbedSetServiceStatus)
TESTBED_INTERPOSE(SetServiceObjectSecurity, 12, testbed::variant::TestbedSetServiceObjectSecurity)
