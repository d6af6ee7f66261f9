#pragma once
//
//  The class installer of the simulated PC: what DIF_PROPERTYCHANGE does to a device node
//  (enable, disable, restart), the configuration's disable flag that a node keeps while it is
//  not present, a log of every call per node, failures a test asks for, and the refusal of a
//  32-bit caller on 64-bit Windows (ERROR_IN_WOW64, logged as a failed call).
//
//      testbed::DeviceNode& phone = testbed::AddPortableDevice(pc, L"Galaxy S7");
//      pc.Installer().DisableByUser(phone);          // the user's own choice
//      pc.Installer().FailNext(phone, 1);            // the next call on it fails
//      ... product code runs ...
//      pc.Installer().Actions(phone)                 // what it was asked to do
//
#include "testbed/machine/DeviceTree.h"

#include <windows.h>
#include <setupapi.h>

#include <map>
#include <string>
#include <vector>

namespace testbed {

class Machine;

// The portable device class (GUID_DEVCLASS_WPD).
extern const GUID kPortableDeviceClass;

struct InstallerAction {
    DWORD stateChange;   // DICS_ENABLE, DICS_DISABLE, DICS_PROPCHANGE, ...
    DWORD scope;         // DICS_FLAG_GLOBAL or DICS_FLAG_CONFIGSPECIFIC
    DWORD profile;
    bool present;        // whether the node was present when it was asked
    bool succeeded;
};

class ClassInstaller {
public:
    explicit ClassInstaller(Machine& machine) : machine_(machine) {}
    ClassInstaller(const ClassInstaller&) = delete;
    ClassInstaller& operator=(const ClassInstaller&) = delete;

    // The node is disabled in its configuration, as the user does in the device manager; the
    // log does not show it.
    void DisableByUser(DeviceNode& node);
    // The next count calls on the node fail with the error and change nothing.
    void FailNext(DeviceNode& node, int count = 1, DWORD error = ERROR_NOT_DISABLEABLE);
    // Successful calls on the node report DI_NEEDRESTART.
    void RequireRestart(DeviceNode& node, bool required = true);
    // A removed node comes back, disabled when its configuration says so.
    void Reconnect(DeviceNode& node);

    bool Disabled(const DeviceNode& node) const;
    std::vector<InstallerAction> Actions(const DeviceNode& node) const;
    size_t ActionCount() const;

    // Carries out one DIF_PROPERTYCHANGE; FALSE with the last error set when it fails.
    // flags receives the device's install flags afterwards (DI_NEEDRESTART).
    BOOL PropertyChange(DeviceNode& node, DWORD stateChange, DWORD scope, DWORD profile, DWORD* flags);

private:
    struct NodeState {
        bool disabled = false;
        bool needRestart = false;
        int failures = 0;
        DWORD failureError = 0;
        std::vector<InstallerAction> actions;
    };
    void ShowState(DeviceNode& node, const NodeState& state);

    Machine& machine_;
    std::map<const DeviceNode*, NodeState> nodes_;
};

// A portable device (class WPD) below the root: its friendly name, a driver key of the WPD
// class and an instance id under SWD\WPDBUSENUM.
DeviceNode& AddPortableDevice(Machine& machine, const std::wstring& friendlyName);

}  // namespace testbed
