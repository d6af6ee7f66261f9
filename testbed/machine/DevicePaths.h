#pragma once
//
//  Device paths beyond USB hardware that CreateFileW opens on the simulated PC: the machine's
//  volumes ("\\.\X:", "\\?\Volume{...}", "\\.\HarddiskVolumeN") with their storage queries,
//  and devices that a test adds for the time it runs (the kernel stand-in's control devices).
//  A handle to such a device answers DeviceIoControl itself.
//
#include "testbed/machine/Machine.h"

#include <functional>
#include <memory>
#include <string>

namespace testbed {

class ControlledObject : public OpenObject {
public:
    // FALSE with the last error set when the request fails.
    virtual BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) = 0;
};

// Opens the path when it names one of these devices: true with the handle, or with
// INVALID_HANDLE_VALUE and the last error set when the open fails; false when the path is
// none of them.
bool OpenDevicePath(Machine& machine, const std::wstring& path, DWORD access, HANDLE& handle);

// A device path that a test serves while the registration lives. The opener returns the
// handle's object, or null with error set.
typedef std::function<std::shared_ptr<ControlledObject>(DWORD access, DWORD& error)> DeviceOpener;

class DevicePathRegistration {
public:
    DevicePathRegistration(std::wstring path, DeviceOpener opener);
    ~DevicePathRegistration();
    DevicePathRegistration(const DevicePathRegistration&) = delete;
    DevicePathRegistration& operator=(const DevicePathRegistration&) = delete;

private:
    std::wstring path_;
};

}  // namespace testbed
