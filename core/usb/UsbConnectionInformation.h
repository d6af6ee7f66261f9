#pragma once
//
//  A port's connection information as the hub driver returns it: the extended record with
//  room for 30 open pipes, 365 bytes in all.
//
#include <windows.h>
#include <winioctl.h>
#include <usbioctl.h>

#include <pshpack1.h>
struct UsbConnectionInformation {
    USB_NODE_CONNECTION_INFORMATION_EX info;
    USB_PIPE_INFO pipes[30];
};
#include <poppack.h>

static_assert(sizeof(UsbConnectionInformation) == 365, "connection information with 30 pipe entries");
