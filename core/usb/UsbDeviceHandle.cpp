#include "core/usb/UsbDeviceHandle.h"

UsbDeviceHandle::UsbDeviceHandle(const CString& path)
    : handle_(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)), path_(path)
{
}

UsbDeviceHandle::~UsbDeviceHandle()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}
