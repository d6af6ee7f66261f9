#pragma once
//
//  Joins the two halves of the simulated PC in one process: while a KernelBridge lives,
//  CreateFileW(L"\\\\.\\QEVRINd") opens the filter's control device in the kernel stand-in
//  and DeviceIoControl on that handle becomes a buffered control request there, sent in the
//  name of the calling process. Volumes added through the bridge exist on both sides under
//  one NT device name.
//
#include "testbed/bridge/KernelPc.h"
#include "testbed/machine/DevicePaths.h"

namespace testbed {

class KernelBridge {
public:
    explicit KernelBridge(Machine& machine);
    ~KernelBridge();
    KernelBridge(const KernelBridge&) = delete;
    KernelBridge& operator=(const KernelBridge&) = delete;

    bridge::KernelPc& Kernel() { return kernel_; }
    // The machine's volume gets its storage volume in the kernel.
    void AddKernelVolume(const Volume& volume) { kernel_.AddVolume(volume.deviceName); }

private:
    bridge::KernelPc kernel_;
    DevicePathRegistration controlDevice_;
};

// The Win32 error that a kernel status becomes at the user-mode boundary.
DWORD Win32ErrorOf(LONG status);

}  // namespace testbed
