#pragma once
//
//  Visits every USB host controller, its root hub, every port of every hub and, depth first,
//  every hub behind a port, handing each port's connection information to a hook. Derived
//  classes override the hooks; the walker itself only finds its way.
//
#include "classlib/CString.h"
#include "core/usb/UsbConnectionInformation.h"

#include <windows.h>
#include <cfgmgr32.h>

#include <vector>

class UsbHubWalker {
public:
    enum : DWORD {
        WALK_CONTROLLERS_BY_NAME = 0x1,       // "\\.\HCD0" to "\\.\HCD9"
        WALK_CONTROLLER_INTERFACES = 0x2,     // the host-controller device interface
        WALK_DEVICE_TREE = 0x4,               // the configuration manager's device tree
    };

    explicit UsbHubWalker(DWORD passFlags) : passFlags_(passFlags) {}
    virtual ~UsbHubWalker() = default;
    UsbHubWalker(const UsbHubWalker&) = delete;
    UsbHubWalker& operator=(const UsbHubWalker&) = delete;

    // Runs the selected passes in order; a controller reached by several passes is walked once.
    virtual void Walk();
    virtual void WalkHostControllers();
    virtual void WalkHostControllerInterfaces();
    virtual void WalkDeviceTree();
    virtual void VisitControllerChildren(DEVINST controller);
    virtual void OpenRootHub(const CString& controllerPath);
    virtual void OpenHub(const CString& hubName);
    virtual void OnPort(HANDLE hub, ULONG port);
    virtual void OnHubDevNode(DEVINST node);
    virtual void OnChildHub(HANDLE hub, ULONG port, const UsbConnectionInformation& information);
    virtual void OnOtherDevNode(DEVINST node);
    virtual void OnDevice(HANDLE hub, ULONG port, const UsbConnectionInformation& information);
    virtual void VisitDevNode(DEVINST node);

protected:
    // Upper-cased driver keys of the controllers walked in this pass set.
    std::vector<CString> visitedControllers_;
    DWORD passFlags_;

private:
    void OpenHostController(const CString& path);
    // Adds the upper-cased key; false when it was already there.
    bool NoteController(CString driverKey);

    // Hubs open along the current chain. USB allows five hubs below the root hub; a chain that
    // goes deeper can only be a driver naming a hub it already reached, so it is cut.
    int hubDepth_ = 0;
};
