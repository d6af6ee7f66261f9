//
//  Device paths: CreateFileW, DeviceIoControl and CloseHandle on the simulated controllers and
//  hubs. Every other path and handle goes to the system.
//
#include "testbed/machine/DevicePaths.h"
#include "testbed/machine/OpenObjects.h"
#include "testbed/machine/interpose.h"

namespace testbed {
namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    std::wstring head(prefix);
    return text.size() >= head.size() && SameName(text.substr(0, head.size()), head);
}

// Paths that only USB hardware answers: with a machine installed they never reach the system.
bool IsUsbDevicePath(const std::wstring& path)
{
    return StartsWithNoCase(path, L"\\\\.\\HCD") || StartsWithNoCase(path, L"\\\\.\\USB#") ||
           StartsWithNoCase(path, L"\\\\?\\PCI#") || StartsWithNoCase(path, L"\\\\?\\USB#");
}

HANDLE WINAPI TestbedCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile)
{
    Machine* machine = Machine::Current();
    if (machine && path) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        std::wstring name(path);
        if (UsbHostController* controller = machine->FindControllerByPath(name)) {
            controller->NoteOpen();
            return machine->OpenHandle(std::make_shared<ControllerHandle>(controller));
        }
        if (StartsWithNoCase(name, L"\\\\.\\")) {
            if (UsbHub* hub = machine->FindHubByName(name.substr(4)))
                return machine->OpenHandle(std::make_shared<HubHandle>(hub));
        }
        HANDLE opened = INVALID_HANDLE_VALUE;
        if (OpenDevicePath(*machine, name, access, opened))
            return opened;
        if (IsUsbDevicePath(name)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    }
    static auto real = RealFunction<decltype(&::CreateFileW)>(L"kernel32.dll", "CreateFileW");
    return real(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI TestbedDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                   LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (Machine* machine = Machine::Current()) {
        if (auto target = machine->FindHandle(handle)) {
            if (auto* device = dynamic_cast<ControlledObject*>(target.get()))
                return device->Control(code, in, inSize, out, outSize, returned);
            return AnswerControlCode(*machine, *target, code, in, inSize, out, outSize, returned);
        }
    }
    static auto real = RealFunction<decltype(&::DeviceIoControl)>(L"kernel32.dll", "DeviceIoControl");
    return real(handle, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL WINAPI TestbedCloseHandle(HANDLE handle)
{
    Machine* machine = Machine::Current();
    if (machine && machine->CloseMachineHandle(handle))
        return TRUE;
    static auto real = RealFunction<decltype(&::CloseHandle)>(L"kernel32.dll", "CloseHandle");
    return real(handle);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(CreateFileW, 28, testbed::TestbedCreateFileW)
TESTBED_INTERPOSE(DeviceIoControl, 32, testbed::TestbedDeviceIoControl)
TESTBED_INTERPOSE(CloseHandle, 4, testbed::TestbedCloseHandle)
