#pragma once
//
//  The USB side of the simulated PC: host controllers, hubs (root and nested), ports and the
//  devices on them, with the descriptors, strings, driver keys and names their drivers report.
//
//  A test builds it through the Machine (AddHostController) and the hubs (Plug, PlugHub,
//  Unplug); the control-code replies in UsbControlCodes.cpp read it.
//
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testbed {

class DeviceNode;
class Machine;
class UsbHub;

// What a test says about a device before it is plugged in.
struct UsbDeviceSpec {
    WORD vendorId = 0;
    WORD productId = 0;
    WORD bcdDevice = 0x0100;
    BYTE deviceClass = 0;
    std::wstring manufacturer;   // empty: iManufacturer 0
    std::wstring product;        // empty: iProduct 0
    std::wstring serial;         // empty: iSerialNumber 0
    std::vector<WORD> languages{0x0409};
    // Empty: "USB\VID_v&PID_p\serial" when a serial exists, else a parent-made id with
    // ampersands, as the bus driver names devices without a serial number.
    std::wstring instanceId;
    std::wstring service = L"USBSTOR";
    std::wstring description = L"USB Mass Storage Device";
    bool hasDriverKey = true;    // false: no driver installed, so no driver key
    bool storage = true;         // a disk node below the device
    BYTE speed = 2;              // UsbHighSpeed
};

UsbDeviceSpec UsbStick(WORD vendorId, WORD productId, std::wstring manufacturer, std::wstring product,
                       std::wstring serial);

// A string-descriptor reply a test wants instead of the well-formed one.
struct UsbRawReply {
    std::vector<BYTE> bytes;     // the descriptor bytes as the device sends them
    DWORD returned = 0;          // bytes the request reports, the 12-byte header included
    DWORD error = 0;             // non-zero: the request fails with this error
};

class UsbDevice {
public:
    const UsbDeviceSpec& Spec() const { return spec_; }
    DeviceNode* Node() const { return node_; }
    DeviceNode* Disk() const { return disk_; }
    UsbHub* Hub() const { return hub_; }             // non-null for a hub device
    const std::wstring& DriverKey() const { return driverKey_; }
    void SetDriverKey(std::wstring key) { driverKey_ = std::move(key); }
    BYTE Address() const { return address_; }
    BYTE StringIndex(int which) const;               // 1 manufacturer, 2 product, 3 serial

    // Malformed or failing replies for one string index (0 is the language list).
    UsbDevice& ReplyToString(BYTE index, UsbRawReply reply);
    // A sleeping device fails its string requests until one of its drives is touched.
    UsbDevice& Sleep() { asleep_ = true; return *this; }
    bool Asleep() const { return asleep_; }
    void Wake() { asleep_ = false; }
    unsigned StringRequests() const { return stringRequests_; }

private:
    friend class UsbHub;
    friend class Machine;
    friend struct UsbReplies;
    UsbDeviceSpec spec_;
    DeviceNode* node_ = nullptr;
    DeviceNode* disk_ = nullptr;
    UsbHub* hub_ = nullptr;
    std::wstring driverKey_;
    BYTE address_ = 0;
    bool asleep_ = false;
    unsigned stringRequests_ = 0;
    std::map<BYTE, UsbRawReply> rawReplies_;
};

struct UsbPort {
    UsbDevice* device = nullptr;
    bool extendedRequest = true;   // false: only the plain connection request is answered
    ULONG status = 0;              // USB_CONNECTION_STATUS; 1 while a device is connected
};

class UsbHub {
public:
    const std::wstring& Name() const { return name_; }     // without the "\\.\" prefix
    DeviceNode* Node() const { return node_; }
    int PortCount() const { return static_cast<int>(ports_.size()); }
    UsbPort& Port(int number) { return ports_.at(static_cast<size_t>(number - 1)); }
    bool Present() const { return present_; }

    UsbDevice& Plug(int port, UsbDeviceSpec spec);
    UsbHub& PlugHub(int port, int ports);
    void Unplug(int port);

    // The hub's node-information request fails (the hub is then skipped).
    bool failNodeInformation = false;

private:
    friend class Machine;
    friend class UsbHostController;
    UsbHub(Machine& machine, std::wstring name, DeviceNode* node, int ports);
    Machine& machine_;
    std::wstring name_;
    DeviceNode* node_;
    std::vector<UsbPort> ports_;
    bool present_ = true;
};

class UsbHostController {
public:
    int HcdIndex() const { return hcdIndex_; }                // -1: not reachable by name
    const std::wstring& InterfacePath() const { return interfacePath_; }  // empty: no interface
    const std::wstring& DriverKey() const { return driverKey_; }
    void SetDriverKey(std::wstring key) { driverKey_ = std::move(key); }
    DeviceNode* Node() const { return node_; }
    UsbHub& RootHub() { return *rootHub_; }
    unsigned Opens() const { return opens_; }
    void NoteOpen() { ++opens_; }

private:
    friend class Machine;
    int hcdIndex_ = -1;
    std::wstring interfacePath_;
    std::wstring driverKey_;
    DeviceNode* node_ = nullptr;
    UsbHub* rootHub_ = nullptr;
    unsigned opens_ = 0;
};

}  // namespace testbed
