#include "testbed/machine/ClassInstaller.h"

#include "testbed/machine/Machine.h"

#include <setupapi.h>

#include <cstdio>
#include <mutex>

namespace testbed {

const GUID kPortableDeviceClass = {0xeec5ad98, 0x8080, 0x425f, {0x92, 0x2a, 0xda, 0xbf, 0x3d, 0xe3, 0xf6, 0x9a}};

void ClassInstaller::DisableByUser(DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    NodeState& state = nodes_[&node];
    state.disabled = true;
    ShowState(node, state);
}

void ClassInstaller::FailNext(DeviceNode& node, int count, DWORD error)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    NodeState& state = nodes_[&node];
    state.failures = count;
    state.failureError = error;
}

void ClassInstaller::RequireRestart(DeviceNode& node, bool required)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    nodes_[&node].needRestart = required;
}

void ClassInstaller::Reconnect(DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    machine_.ReturnNode(node);
    ShowState(node, nodes_[&node]);
}

bool ClassInstaller::Disabled(const DeviceNode& node) const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    auto found = nodes_.find(&node);
    return found != nodes_.end() && found->second.disabled;
}

std::vector<InstallerAction> ClassInstaller::Actions(const DeviceNode& node) const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    auto found = nodes_.find(&node);
    return found == nodes_.end() ? std::vector<InstallerAction>() : found->second.actions;
}

size_t ClassInstaller::ActionCount() const
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    size_t count = 0;
    for (const auto& entry : nodes_)
        count += entry.second.actions.size();
    return count;
}

// A node disabled in its configuration does not start: the configuration manager reports it
// with a problem, which is how callers tell a disabled device from a running one.
void ClassInstaller::ShowState(DeviceNode& node, const NodeState& state)
{
    if (state.disabled) {
        node.status = DN_HAS_PROBLEM | DN_DISABLEABLE;
        node.problem = CM_PROB_DISABLED;
    } else {
        node.status = DN_STARTED | DN_DRIVER_LOADED | DN_DISABLEABLE;
        node.problem = 0;
    }
}

namespace {

// The testbed is built for its caller's architecture, so the build tells whether the caller is
// a 32-bit program.
bool CallerUnderWow64(const Machine& machine)
{
#ifdef _WIN64
    (void)machine;
    return false;
#else
    return machine.windows64;
#endif
}

}  // namespace

BOOL ClassInstaller::PropertyChange(DeviceNode& node, DWORD stateChange, DWORD scope, DWORD profile, DWORD* flags)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    NodeState& state = nodes_[&node];
    InstallerAction action = {stateChange, scope, profile, node.Present(), false};
    *flags = 0;
    DWORD error = ERROR_SUCCESS;
    if (CallerUnderWow64(machine_)) {
        // 64-bit Windows runs no class installer for a 32-bit program.
        error = ERROR_IN_WOW64;
    } else if (state.failures > 0) {
        --state.failures;
        error = state.failureError;
    } else if (scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) {
        error = ERROR_INVALID_FLAGS;
    } else if (stateChange == DICS_ENABLE) {
        state.disabled = false;
    } else if (stateChange == DICS_DISABLE) {
        state.disabled = true;
    } else if (stateChange == DICS_PROPCHANGE) {
        // Only a running device can be stopped and started again.
        if (!node.Present())
            error = ERROR_NO_SUCH_DEVINST;
    } else {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == ERROR_SUCCESS) {
        ShowState(node, state);
        action.succeeded = true;
        if (state.needRestart)
            *flags = DI_NEEDRESTART;
    }
    state.actions.push_back(action);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

DeviceNode& AddPortableDevice(Machine& machine, const std::wstring& friendlyName)
{
    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    unsigned number = 0;
    for (DeviceNode* node : machine.AllNodes())
        if (IsEqualGUID(node->classGuid, kPortableDeviceClass))
            ++number;
    wchar_t id[96];
    std::swprintf(id, sizeof id / sizeof id[0], L"SWD\\WPDBUSENUM\\_??_USBSTOR#DISK&VEN_PHONE&PROD_%04u#7&2F1&0", number);
    wchar_t driverKey[64];
    std::swprintf(driverKey, sizeof driverKey / sizeof driverKey[0], L"{eec5ad98-8080-425f-922a-dabf3de3f69a}\\%04u", number);
    DeviceNode& node = machine.AddNode(machine.Root(), id);
    node.classGuid = kPortableDeviceClass;
    node.status = DN_STARTED | DN_DRIVER_LOADED | DN_DISABLEABLE;
    node.SetProperty(CM_DRP_FRIENDLYNAME, friendlyName)
        .SetProperty(CM_DRP_DEVICEDESC, friendlyName)
        .SetProperty(CM_DRP_DRIVER, driverKey)
        .SetProperty(CM_DRP_SERVICE, L"WUDFRd");
    return node;
}

}  // namespace testbed
