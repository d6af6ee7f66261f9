#include "testbed/bridge/KernelBridge.h"

#include "classlib/ScopedHandle.h"

namespace testbed {
namespace {

class ControlDeviceHandle : public ControlledObject {
public:
    explicit ControlDeviceHandle(std::unique_ptr<bridge::KernelDeviceHandle> handle) : handle_(std::move(handle)) {}

    BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        uint32_t information = 0;
        LONG status = handle_->Control(GetCurrentProcessId(), code, in, inSize, out, outSize, &information);
        if (returned)
            *returned = information;
        if (status < 0) {
            SetLastError(Win32ErrorOf(status));
            return FALSE;
        }
        return TRUE;
    }

private:
    std::unique_ptr<bridge::KernelDeviceHandle> handle_;
};

}  // namespace

KernelBridge::KernelBridge(Machine& machine)
    : controlDevice_(L"\\\\.\\QEVRINd", [this](DWORD, DWORD& error) -> std::shared_ptr<ControlledObject> {
          int32_t status = 0;
          std::unique_ptr<bridge::KernelDeviceHandle> handle = kernel_.OpenDevice(L"\\??\\QEVRINd", &status);
          if (!handle) {
              error = Win32ErrorOf(status);
              return nullptr;
          }
          return std::make_shared<ControlDeviceHandle>(std::move(handle));
      })
{
    // The PC's processes are this Wine's: one runs while its exit code says so.
    kernel_.SetOutsideProcesses([](uint32_t processId) {
        ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        DWORD exitCode = 0;
        return process.IsValid() && GetExitCodeProcess(process.Get(), &exitCode) && exitCode == STILL_ACTIVE;
    });
    for (Volume* volume : machine.Volumes())
        AddKernelVolume(*volume);
}

KernelBridge::~KernelBridge() = default;

DWORD Win32ErrorOf(LONG status)
{
    switch (static_cast<ULONG>(status)) {
    case 0xC000000D:  // STATUS_INVALID_PARAMETER
        return ERROR_INVALID_PARAMETER;
    case 0xC0000022:  // STATUS_ACCESS_DENIED: the device is exclusive, or its access list refuses
        return ERROR_ACCESS_DENIED;
    case 0xC0000010:  // STATUS_INVALID_DEVICE_REQUEST
        return ERROR_INVALID_FUNCTION;
    case 0xC0000034:  // STATUS_OBJECT_NAME_NOT_FOUND
        return ERROR_FILE_NOT_FOUND;
    case 0xC000003A:  // STATUS_OBJECT_PATH_NOT_FOUND
        return ERROR_PATH_NOT_FOUND;
    case 0xC0000038:  // STATUS_DEVICE_ALREADY_ATTACHED
        return 548;  // ERROR_DEVICE_ALREADY_ATTACHED, which the headers lack
    case 0xC000009A:  // STATUS_INSUFFICIENT_RESOURCES
        return ERROR_NO_SYSTEM_RESOURCES;
    case 0xC00000A2:  // STATUS_MEDIA_WRITE_PROTECTED
        return ERROR_WRITE_PROTECT;
    }
    return ERROR_GEN_FAILURE;
}

}  // namespace testbed
