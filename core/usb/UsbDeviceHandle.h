#pragma once
//
//  The open handle of a USB host controller or hub for the length of one visit.
//
#include "classlib/CString.h"

#include <windows.h>

class UsbDeviceHandle {
public:
    // Opens the path for the control codes of the USB drivers.
    explicit UsbDeviceHandle(const CString& path);
    ~UsbDeviceHandle();
    UsbDeviceHandle(const UsbDeviceHandle&) = delete;
    UsbDeviceHandle& operator=(const UsbDeviceHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    const CString& Path() const { return path_; }

private:
    HANDLE handle_;
    CString path_;
};
