//
//  The replies of the simulated USB host-controller and hub drivers, byte for byte.
//
//  Replies are written at fixed offsets rather than through the platform structures, so that a
//  layout the product gets wrong shows up as a wrong value instead of agreeing with itself; the
//  static_asserts tie each offset to mingw-w64's own declaration where one exists.
//
#include "testbed/machine/OpenObjects.h"

#include <winioctl.h>
#include <usbioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace testbed {

// Access to the device's private reply state for the descriptor replies below.
struct UsbReplies {
    static unsigned& Requests(UsbDevice& device) { return device.stringRequests_; }
    static const UsbRawReply* Raw(const UsbDevice& device, BYTE index)
    {
        auto found = device.rawReplies_.find(index);
        return found == device.rawReplies_.end() ? nullptr : &found->second;
    }
};

namespace {

// Connection information, extended and plain: 35 bytes of header and 11-byte pipe entries.
constexpr DWORD kConnectionHeader = 35;
constexpr DWORD kPipeEntry = 11;
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor) == 4, "descriptor");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, CurrentConfigurationValue) == 22, "configuration");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, Speed) == 23, "speed");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceIsHub) == 24, "is hub");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceAddress) == 25, "address");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, NumberOfOpenPipes) == 27, "pipes");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, ConnectionStatus) == 31, "status");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList) == kConnectionHeader, "pipe list");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, LowSpeed) == 23, "low speed");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, PipeList) == kConnectionHeader, "plain pipe list");
static_assert(sizeof(USB_PIPE_INFO) == kPipeEntry, "pipe entry");
static_assert(kConnectionHeader + 30 * kPipeEntry == 365, "connection information with 30 pipes");
static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18, "device descriptor");
static_assert(offsetof(USB_DEVICE_DESCRIPTOR, idVendor) == 8, "idVendor");
static_assert(offsetof(USB_DEVICE_DESCRIPTOR, iManufacturer) == 14, "iManufacturer");

// Node information: node type and the hub descriptor with its 64-byte mask, bus-powered flag.
constexpr DWORD kNodeInformation = 76;
static_assert(sizeof(USB_NODE_INFORMATION) == kNodeInformation, "node information");
static_assert(offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) == 6, "port count");
static_assert(offsetof(USB_NODE_INFORMATION, u.HubInformation.HubIsBusPowered) == 75, "bus powered");

// Descriptor request: connection index, 8-byte setup packet, then the data.
constexpr DWORD kDescriptorHeader = 12;
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == kDescriptorHeader, "descriptor request header");
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wValue) == 6, "wValue");
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wIndex) == 8, "wIndex");
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wLength) == 10, "wLength");
static_assert(kDescriptorHeader + 255 == 267, "string descriptor request");

// Name requests: a length (and a connection index before it for the per-port names).
static_assert(offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName) == 4, "controller driver key");
static_assert(offsetof(USB_ROOT_HUB_NAME, RootHubName) == 4, "root hub name");
static_assert(sizeof(USB_HCD_DRIVERKEY_NAME) == 6, "6-byte name request");
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength) == 4, "port name length");
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName) == 8, "port driver key");
static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) == 8, "port node name");
static_assert(sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME) == 10, "10-byte name request");

static_assert(IOCTL_GET_HCD_DRIVERKEY_NAME == 0x220424, "code");
static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == 0x220408, "code");
static_assert(IOCTL_USB_GET_NODE_INFORMATION == 0x220408, "code");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION == 0x22040C, "code");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX == 0x220448, "code");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME == 0x220420, "code");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_NAME == 0x220414, "code");
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION == 0x220410, "code");

void Put8(BYTE* at, BYTE value) { at[0] = value; }
void Put16(BYTE* at, WORD value) { at[0] = BYTE(value); at[1] = BYTE(value >> 8); }
void Put32(BYTE* at, DWORD value) { Put16(at, WORD(value)); Put16(at + 2, WORD(value >> 16)); }
WORD Get16(const BYTE* at) { return WORD(at[0] | (at[1] << 8)); }
DWORD Get32(const BYTE* at) { return DWORD(Get16(at)) | (DWORD(Get16(at + 2)) << 16); }

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// A name reply: [prefix bytes] ActualLength, name, NUL. When the caller's buffer is too small
// the driver still succeeds and reports the length it needs, with as much text as fits. The
// byte count it reports is the machine's choice: the whole reply or the request's fixed part.
BOOL NameReply(const Machine& machine, const std::wstring& name, DWORD prefix, BYTE* out, DWORD outSize,
               DWORD* returned)
{
    DWORD actual = prefix + 4 + DWORD(name.size() + 1) * 2;
    if (outSize < prefix + 6)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    Put32(out + prefix, actual);
    DWORD room = (std::min(actual, outSize) - prefix - 4) / 2;
    for (DWORD i = 0; i < room; ++i)
        Put16(out + prefix + 4 + 2 * i, i < name.size() ? WORD(name[i]) : 0);
    *returned = machine.nameByteCount == Machine::NameByteCount::FixedPart ? prefix + 6 : std::min(actual, outSize);
    return TRUE;
}

UsbPort* PortOf(UsbHub& hub, const BYTE* in, DWORD inSize)
{
    if (inSize < 4)
        return nullptr;
    DWORD index = Get32(in);
    if (index < 1 || index > DWORD(hub.PortCount()))
        return nullptr;
    return &hub.Port(int(index));
}

void PutDeviceDescriptor(BYTE* at, const UsbDevice& device)
{
    const UsbDeviceSpec& spec = device.Spec();
    Put8(at + 0, 18);
    Put8(at + 1, 1);
    Put16(at + 2, 0x0200);
    Put8(at + 4, spec.deviceClass);
    Put8(at + 7, 64);
    Put16(at + 8, spec.vendorId);
    Put16(at + 10, spec.productId);
    Put16(at + 12, spec.bcdDevice);
    Put8(at + 14, device.StringIndex(1));
    Put8(at + 15, device.StringIndex(2));
    Put8(at + 16, device.StringIndex(3));
    Put8(at + 17, 1);
}

BOOL ConnectionReply(UsbHub& hub, bool extended, const BYTE* in, DWORD inSize, BYTE* out, DWORD outSize,
                     DWORD* returned)
{
    UsbPort* port = PortOf(hub, in, inSize);
    if (!port || outSize < kConnectionHeader)
        return Fail(ERROR_INVALID_PARAMETER);
    if (extended && !port->extendedRequest)
        return Fail(ERROR_INVALID_FUNCTION);
    DWORD index = Get32(in);
    std::memset(out, 0, outSize);
    Put32(out, index);
    Put32(out + 31, port->status);
    DWORD pipes = 0;
    if (const UsbDevice* device = port->device) {
        PutDeviceDescriptor(out + 4, *device);
        Put8(out + 22, 1);
        BYTE speed = device->Spec().speed;
        Put8(out + 23, extended ? speed : BYTE(speed == 0));
        Put8(out + 24, device->Hub() ? 1 : 0);
        Put16(out + 25, device->Address());
        // A storage device has its two bulk pipes open; an interrupt pipe for a hub.
        pipes = device->Spec().storage ? 2 : 1;
        Put32(out + 27, pipes);
        for (DWORD pipe = 0; pipe < pipes && kConnectionHeader + (pipe + 1) * kPipeEntry <= outSize; ++pipe) {
            BYTE* entry = out + kConnectionHeader + pipe * kPipeEntry;
            Put8(entry + 0, 7);
            Put8(entry + 1, 5);
            Put8(entry + 2, BYTE(device->Spec().storage ? (pipe == 0 ? 0x81 : 0x02) : 0x81));
            Put8(entry + 3, device->Spec().storage ? 2 : 3);
            Put16(entry + 4, device->Spec().storage ? 512 : 1);
            Put8(entry + 6, device->Spec().storage ? 0 : 12);
        }
    }
    *returned = std::min(outSize, kConnectionHeader + pipes * kPipeEntry);
    return TRUE;
}

std::vector<BYTE> StringDescriptor(const UsbDevice& device, BYTE index, bool* found)
{
    std::vector<BYTE> bytes{0, 3};
    *found = true;
    const UsbDeviceSpec& spec = device.Spec();
    if (index == 0) {
        for (WORD language : spec.languages) {
            bytes.push_back(BYTE(language));
            bytes.push_back(BYTE(language >> 8));
        }
    } else {
        const std::wstring* text = nullptr;
        for (int which = 1; which <= 3; ++which)
            if (device.StringIndex(which) == index)
                text = which == 1 ? &spec.manufacturer : which == 2 ? &spec.product : &spec.serial;
        if (!text) {
            *found = false;
            return {};
        }
        for (wchar_t ch : text->substr(0, 126)) {
            bytes.push_back(BYTE(ch));
            bytes.push_back(BYTE(WORD(ch) >> 8));
        }
    }
    bytes[0] = BYTE(bytes.size());
    return bytes;
}

BOOL DescriptorReply(UsbHub& hub, const BYTE* in, DWORD inSize, BYTE* out, DWORD outSize, DWORD* returned)
{
    UsbPort* port = PortOf(hub, in, inSize);
    if (!port || inSize < kDescriptorHeader || outSize < kDescriptorHeader)
        return Fail(ERROR_INVALID_PARAMETER);
    UsbDevice* device = port->device;
    if (!device)
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    WORD value = Get16(in + 6);
    WORD length = Get16(in + 10);
    BYTE type = BYTE(value >> 8);
    BYTE index = BYTE(value);
    if (in != out)
        std::memcpy(out, in, kDescriptorHeader);
    DWORD room = std::min<DWORD>(length, outSize - kDescriptorHeader);

    std::vector<BYTE> bytes;
    if (type == 1) {
        bytes.resize(18);
        PutDeviceDescriptor(bytes.data(), *device);
    } else if (type == 3) {
        ++UsbReplies::Requests(*device);
        if (device->Asleep())
            return Fail(ERROR_GEN_FAILURE);
        auto raw = UsbReplies::Raw(*device, index);
        if (raw) {
            if (raw->error)
                return Fail(raw->error);
            DWORD copied = std::min<DWORD>(room, DWORD(raw->bytes.size()));
            std::memcpy(out + kDescriptorHeader, raw->bytes.data(), copied);
            *returned = raw->returned;
            return TRUE;
        }
        bool found = false;
        bytes = StringDescriptor(*device, index, &found);
        if (!found)
            return Fail(ERROR_GEN_FAILURE);
    } else {
        return Fail(ERROR_GEN_FAILURE);
    }
    DWORD copied = std::min<DWORD>(room, DWORD(bytes.size()));
    std::memcpy(out + kDescriptorHeader, bytes.data(), copied);
    *returned = kDescriptorHeader + copied;
    return TRUE;
}

}  // namespace

BOOL AnswerControlCode(Machine& machine, OpenObject& target, DWORD code, const void* inBuffer, DWORD inSize,
                       void* outBuffer, DWORD outSize, DWORD* returned)
{
    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    if (machine.beforeRequest)
        machine.beforeRequest(code);
    DWORD ignored = 0;
    if (!returned)
        returned = &ignored;
    *returned = 0;
    auto in = static_cast<const BYTE*>(inBuffer);
    auto out = static_cast<BYTE*>(outBuffer);
    if (!out && outSize)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!in)
        inSize = 0;

    if (auto* controller = dynamic_cast<ControllerHandle*>(&target)) {
        switch (code) {
        case IOCTL_GET_HCD_DRIVERKEY_NAME:
            return NameReply(machine, controller->controller->DriverKey(), 0, out, outSize, returned);
        case IOCTL_USB_GET_ROOT_HUB_NAME:
            return NameReply(machine, controller->controller->RootHub().Name(), 0, out, outSize, returned);
        }
        return Fail(ERROR_INVALID_FUNCTION);
    }

    auto* hubHandle = dynamic_cast<HubHandle*>(&target);
    if (!hubHandle)
        return Fail(ERROR_INVALID_FUNCTION);
    UsbHub& hub = *hubHandle->hub;
    if (!hub.Present())
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    switch (code) {
    case IOCTL_USB_GET_NODE_INFORMATION: {
        if (hub.failNodeInformation)
            return Fail(ERROR_GEN_FAILURE);
        if (outSize < kNodeInformation)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memset(out, 0, kNodeInformation);
        Put32(out, 0);                     // UsbHub
        Put8(out + 4, BYTE(7 + 2));        // bDescriptorLength
        Put8(out + 5, 0x29);               // hub descriptor
        Put8(out + 6, BYTE(hub.PortCount()));
        Put16(out + 7, 0x0009);
        Put8(out + 9, 50);
        Put8(out + 10, 100);
        Put8(out + 75, hub.Node() && hub.Node()->Parent() ? 1 : 0);
        *returned = kNodeInformation;
        return TRUE;
    }
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX:
        return ConnectionReply(hub, true, in, inSize, out, outSize, returned);
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION:
        return ConnectionReply(hub, false, in, inSize, out, outSize, returned);
    case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME:
    case IOCTL_USB_GET_NODE_CONNECTION_NAME: {
        UsbPort* port = PortOf(hub, in, inSize);
        if (!port)
            return Fail(ERROR_INVALID_PARAMETER);
        if (!port->device)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        const std::wstring* name = nullptr;
        if (code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME && !port->device->DriverKey().empty())
            name = &port->device->DriverKey();
        if (code == IOCTL_USB_GET_NODE_CONNECTION_NAME && port->device->Hub())
            name = &port->device->Hub()->Name();
        if (!name)
            return Fail(ERROR_NOT_FOUND);
        DWORD index = Get32(in);
        if (outSize >= 4)
            Put32(out, index);
        return NameReply(machine, *name, 4, out, outSize, returned);
    }
    case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION:
        return DescriptorReply(hub, in, inSize, out, outSize, returned);
    }
    return Fail(ERROR_INVALID_FUNCTION);
}

}  // namespace testbed
