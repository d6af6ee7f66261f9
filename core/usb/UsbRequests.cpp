#include "core/usb/UsbRequests.h"

#include "core/usb/UsbReplyParsing.h"

#include <cstring>

namespace {

const DWORD kDescriptorRequestBytes = kDescriptorRequestHeader + 255;
// A name longer than this is not a name a driver would give: the reply is refused.
const DWORD kLongestNameReply = 0x10000;
const ULONG kPropertyChars = 400 / sizeof(WCHAR);
const ULONG kInstanceIdChars = 200;

DWORD Read32(const BYTE* at)
{
    return DWORD(at[0]) | DWORD(at[1]) << 8 | DWORD(at[2]) << 16 | DWORD(at[3]) << 24;
}

void Write32(BYTE* at, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = BYTE(value >> (8 * i));
}

// The drivers' two-step name request: a small request learns the length, then a buffer of
// that length reads the name. Port requests carry the connection index in front.
BOOL ReadName(HANDLE device, DWORD code, bool sendsInput, bool perPort, ULONG port, CString& name)
{
    const DWORD header = perPort ? 8 : 4;
    const DWORD probeBytes = header + sizeof(WCHAR);
    BYTE probe[10] = {};
    if (perPort)
        Write32(probe, port);
    DWORD returned = 0;
    if (!DeviceIoControl(device, code, sendsInput ? probe : nullptr, sendsInput ? probeBytes : 0, probe, probeBytes,
                         &returned, nullptr))
        return FALSE;
    DWORD actual = Read32(probe + header - 4);
    if (actual <= probeBytes || actual > kLongestNameReply)
        return FALSE;

    std::vector<BYTE> reply(actual, 0);
    if (perPort)
        Write32(reply.data(), port);
    returned = 0;
    if (!DeviceIoControl(device, code, sendsInput ? reply.data() : nullptr, sendsInput ? actual : 0, reply.data(), actual,
                         &returned, nullptr))
        return FALSE;
    // The name fills the buffer after the header up to its terminator. Drivers differ in the
    // byte count they report for this reply (the whole name, or only the fixed header), so
    // the count is not what sizes the name.
    name = TextFromLittleEndianBytes(reply.data() + header, actual - header);
    return TRUE;
}

#include <pshpack1.h>
struct PlainConnectionInformation {
    USB_NODE_CONNECTION_INFORMATION info;
    USB_PIPE_INFO pipes[30];
};
#include <poppack.h>
static_assert(sizeof(PlainConnectionInformation) == sizeof(UsbConnectionInformation), "same room as the extended record");

}  // namespace

BOOL GetHcdDriverKeyName(HANDLE controller, CString& name)
{
    return ReadName(controller, IOCTL_GET_HCD_DRIVERKEY_NAME, true, false, 0, name);
}

BOOL GetRootHubName(HANDLE controller, CString& name)
{
    return ReadName(controller, IOCTL_USB_GET_ROOT_HUB_NAME, false, false, 0, name);
}

BOOL GetNodeConnectionDriverKeyName(HANDLE hub, ULONG port, CString& name)
{
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, true, true, port, name);
}

BOOL GetNodeConnectionName(HANDLE hub, ULONG port, CString& name)
{
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, true, true, port, name);
}

BOOL GetNodeConnectionInfo(HANDLE hub, ULONG port, UsbConnectionInformation& information)
{
    UsbConnectionInformation extended = {};
    extended.info.ConnectionIndex = port;
    DWORD returned = 0;
    if (DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, &extended, sizeof extended, &extended,
                        sizeof extended, &returned, nullptr)) {
        information = extended;
        return TRUE;
    }
    // Hub drivers before Windows Vista know only the plain request, which reports a low-speed
    // flag instead of the speed.
    PlainConnectionInformation plain = {};
    plain.info.ConnectionIndex = port;
    if (!DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, &plain, sizeof plain, &plain, sizeof plain,
                         &returned, nullptr))
        return FALSE;
    UsbConnectionInformation converted = {};
    converted.info.ConnectionIndex = plain.info.ConnectionIndex;
    converted.info.DeviceDescriptor = plain.info.DeviceDescriptor;
    converted.info.CurrentConfigurationValue = plain.info.CurrentConfigurationValue;
    converted.info.Speed = plain.info.LowSpeed ? 0 : 1;
    converted.info.DeviceIsHub = plain.info.DeviceIsHub;
    converted.info.DeviceAddress = plain.info.DeviceAddress;
    converted.info.NumberOfOpenPipes = plain.info.NumberOfOpenPipes;
    converted.info.ConnectionStatus = plain.info.ConnectionStatus;
    std::memcpy(converted.pipes, plain.pipes, sizeof converted.pipes);
    information = converted;
    return TRUE;
}

BOOL GetUsbStringDescriptor(HANDLE hub, std::vector<BYTE>& descriptor, ULONG port, BYTE index, WORD language)
{
    BYTE request[kDescriptorRequestBytes] = {};
    Write32(request, port);
    request[4] = 0;                         // bmRequest
    request[5] = 0;                         // bRequest
    request[6] = index;                     // wValue: descriptor index ...
    request[7] = 3;                         // ... and the string type in the high byte
    request[8] = BYTE(language);            // wIndex
    request[9] = BYTE(language >> 8);
    request[10] = 255;                      // wLength
    request[11] = 0;
    DWORD returned = 0;
    if (!DeviceIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, request, sizeof request, request,
                         sizeof request, &returned, nullptr))
        return FALSE;
    if (!AcceptStringDescriptor(request, sizeof request, returned, descriptor)) {
        // The request went through but its reply is unusable: say so, as a failed request does.
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    return TRUE;
}

BOOL GetLanguageIds(HANDLE hub, ULONG port, std::vector<WORD>& languages)
{
    languages.clear();
    std::vector<BYTE> descriptor;
    if (!GetUsbStringDescriptor(hub, descriptor, port, 0, 0))
        return FALSE;
    for (size_t i = 2; i + 1 < descriptor.size(); i += 2)
        languages.push_back(WORD(descriptor[i] | (descriptor[i + 1] << 8)));
    return TRUE;
}

BOOL GetStringDescriptorText(CString& text, HANDLE hub, ULONG port, BYTE index, WORD language)
{
    text.Empty();
    std::vector<BYTE> descriptor;
    if (!GetUsbStringDescriptor(hub, descriptor, port, index, language))
        return FALSE;
    text = TextFromLittleEndianBytes(descriptor.data() + 2, descriptor.size() - 2);
    return TRUE;
}

BOOL GetDeviceInstanceId(DEVINST node, CString& id)
{
    if (node == 0)
        return FALSE;
    WCHAR buffer[kInstanceIdChars] = {};
    if (CM_Get_Device_IDW(node, buffer, kInstanceIdChars, 0) != CR_SUCCESS)
        return FALSE;
    id = CString(buffer, kInstanceIdChars);
    return TRUE;
}

BOOL GetDevNodeProperty(ULONG property, DEVINST node, CString& text)
{
    if (node == 0)
        return FALSE;
    WCHAR buffer[kPropertyChars] = {};
    ULONG length = sizeof buffer;
    if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer, &length, 0) != CR_SUCCESS)
        return FALSE;
    text = CString(buffer, kPropertyChars);
    return TRUE;
}

DEVINST FindDevNodeByDriverKey(const CString& driverKey)
{
    // A node without a driver has no key; an empty key names no device.
    if (driverKey.IsEmpty())
        return 0;
    DEVINST root = 0;
    if (CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return 0;
    DEVINST node = root;
    for (;;) {
        CString key;
        if (GetDevNodeProperty(CM_DRP_DRIVER, node, key) && key.CompareNoCase(driverKey) == 0)
            return node;
        DEVINST next = 0;
        if (CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
            node = next;
            continue;
        }
        for (;;) {
            if (node == root)
                return 0;
            if (CM_Get_Sibling(&next, node, 0) == CR_SUCCESS) {
                node = next;
                break;
            }
            if (CM_Get_Parent(&next, node, 0) != CR_SUCCESS)
                return 0;
            node = next;
        }
    }
}

BOOL ParseUsbInstanceId(CString& serial, DEVINST node, WORD& vendorId, WORD& productId, CString& location)
{
    if (node == 0)
        return FALSE;
    CString id;
    if (!GetDeviceInstanceId(node, id))
        return TRUE;
    DWORD vendor = 0, product = 0;
    CString rest;
    if (ScanUsbInstanceId(id, vendor, product, rest) == 3) {
        vendorId = WORD(vendor);
        productId = WORD(product);
        serial = rest;
    } else {
        serial.Empty();
    }
    // The bus driver builds an id of its own, with ampersands, for a device without a serial.
    if (serial.Find(L'&') >= 0)
        serial.Empty();
    GetDevNodeProperty(CM_DRP_LOCATION_INFORMATION, node, location);
    return TRUE;
}
