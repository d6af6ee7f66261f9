#pragma once
//
//  The kinds of machine object a handle from the interposed calls refers to. A new kind of
//  device to open (a disk or volume for storage queries, say) adds its handle type here and
//  its replies beside UsbControlCodes.cpp; CreateFileW and DeviceIoControl dispatch on it.
//
#include "testbed/machine/Machine.h"

#include <setupapi.h>

#include <map>
#include <string>
#include <vector>

namespace testbed {

struct ControllerHandle : OpenObject {
    explicit ControllerHandle(UsbHostController* c) : controller(c) {}
    UsbHostController* controller;
};

struct HubHandle : OpenObject {
    explicit HubHandle(UsbHub* h) : hub(h) {}
    UsbHub* hub;
};

// FindFirstVolumeW's search: the volume names as they stood when it began.
struct VolumeSearch : OpenObject {
    std::vector<std::wstring> names;
    size_t next = 0;
};

// A SetupAPI device information set: device interfaces of one class, or device nodes.
struct DeviceInfoSet : OpenObject {
    std::vector<DeviceInterface> interfaces;
    std::vector<DeviceNode*> nodes;
    // Class-install parameters and install flags per device; the null key holds the set's own.
    std::map<const DeviceNode*, SP_PROPCHANGE_PARAMS> propertyChange;
    std::map<const DeviceNode*, DWORD> installFlags;
};

// Answers one control code sent to a controller or hub handle; FALSE with the last error set
// when the request fails.
BOOL AnswerControlCode(Machine& machine, OpenObject& target, DWORD code, const void* in, DWORD inSize,
                       void* out, DWORD outSize, DWORD* returned);

}  // namespace testbed
