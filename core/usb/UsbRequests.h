#pragma once
//
//  The single requests of the USB topology: names and connection information from the
//  host-controller and hub drivers, string descriptors, and the configuration manager's
//  instance ids and properties. Each returns TRUE on success and FALSE on failure unless said
//  otherwise; on failure an out parameter keeps its value unless said otherwise.
//
#include "classlib/CString.h"
#include "core/usb/UsbConnectionInformation.h"

#include <windows.h>
#include <cfgmgr32.h>

#include <vector>

BOOL GetHcdDriverKeyName(HANDLE controller, CString& name);
BOOL GetRootHubName(HANDLE controller, CString& name);

// The extended request, else the plain one converted (speed 1 for full speed, 0 for low).
BOOL GetNodeConnectionInfo(HANDLE hub, ULONG port, UsbConnectionInformation& information);
BOOL GetNodeConnectionDriverKeyName(HANDLE hub, ULONG port, CString& name);
BOOL GetNodeConnectionName(HANDLE hub, ULONG port, CString& name);

// The whole string descriptor (bLength bytes with its header), when the device's reply is
// well formed: type 3, an even bLength, and exactly bLength bytes returned.
BOOL GetUsbStringDescriptor(HANDLE hub, std::vector<BYTE>& descriptor, ULONG port, BYTE index, WORD language);
// The list is emptied first.
BOOL GetLanguageIds(HANDLE hub, ULONG port, std::vector<WORD>& languages);
// The text is emptied first; it ends at the descriptor's end or its first NUL.
BOOL GetStringDescriptorText(CString& text, HANDLE hub, ULONG port, BYTE index, WORD language);

// FALSE for node 0.
BOOL GetDeviceInstanceId(DEVINST node, CString& id);
// A registry property (CM_DRP_*) read as text; FALSE for node 0.
BOOL GetDevNodeProperty(ULONG property, DEVINST node, CString& text);

// The first node of the device tree, in pre-order, whose driver key equals the key without
// regard to case; 0 when none does.
DEVINST FindDevNodeByDriverKey(const CString& driverKey);

// Vendor id, product id and serial number from a "USB\VID_v&PID_p\serial" instance id, and the
// location text. A serial holding an ampersand is one the bus driver made up: it is emptied.
// FALSE only for node 0; an id that cannot be read leaves everything unset.
BOOL ParseUsbInstanceId(CString& serial, DEVINST node, WORD& vendorId, WORD& productId, CString& location);
