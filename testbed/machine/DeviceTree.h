#pragma once
//
//  The plug-and-play side of the simulated PC: device nodes with their instance ids, registry
//  properties, removal relations and status, and the device interfaces that SetupAPI lists.
//
//  Nodes are never freed while the machine lives: a node that is removed only stops being
//  present, so a DEVINST that product code still holds fails cleanly instead of dangling.
//
#include <windows.h>
#include <cfgmgr32.h>

#include <map>
#include <string>
#include <vector>

namespace testbed {

class DeviceNode {
public:
    DeviceNode(DEVINST handle, DeviceNode* parent, std::wstring instanceId)
        : handle_(handle), parent_(parent), instanceId_(std::move(instanceId)) {}

    DEVINST Handle() const { return handle_; }
    const std::wstring& InstanceId() const { return instanceId_; }
    void SetInstanceId(std::wstring id) { instanceId_ = std::move(id); }
    DeviceNode* Parent() const { return parent_; }
    const std::vector<DeviceNode*>& Children() const { return children_; }
    bool Present() const { return present_; }

    // Registry properties by CM_DRP_* number, all held as strings (REG_SZ).
    DeviceNode& SetProperty(ULONG property, std::wstring value);
    DeviceNode& RemoveProperty(ULONG property);
    const std::wstring* FindProperty(ULONG property) const;

    // Devices that are removed with this one (the volumes of a disk, for instance).
    DeviceNode& AddRemovalRelation(DeviceNode& dependent);
    const std::vector<DeviceNode*>& RemovalRelations() const { return removalRelations_; }

    GUID classGuid = GUID();
    ULONG status = DN_STARTED | DN_DRIVER_LOADED;
    ULONG problem = 0;

private:
    friend class Machine;
    DEVINST handle_;
    DeviceNode* parent_;
    std::wstring instanceId_;
    std::vector<DeviceNode*> children_;
    std::vector<DeviceNode*> removalRelations_;
    std::map<ULONG, std::wstring> properties_;
    bool present_ = true;
};

struct DeviceInterface {
    GUID classGuid;
    std::wstring path;
    DeviceNode* node;
};

// Case-insensitive comparison as the system's own name lookups do it.
bool SameName(const std::wstring& a, const std::wstring& b);
std::wstring Upper(std::wstring text);

}  // namespace testbed
