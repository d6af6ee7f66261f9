//
//  The SetupAPI calls that read a device's registry properties and run the class installer on
//  it, answered from the machine's device tree and its class installer. Without a machine they
//  go to the system.
//
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/OpenObjects.h"
#include "testbed/machine/interpose.h"

#include <cstring>

namespace testbed {
namespace {

const wchar_t kSetupApi[] = L"setupapi.dll";

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// The set and the node a device record of it names; null with the error set when either is
// not one of the machine's.
DeviceInfoSet* SetAndNode(Machine& machine, HDEVINFO handle, const SP_DEVINFO_DATA* data,
                          std::shared_ptr<OpenObject>* keep, DeviceNode** node)
{
    *keep = machine.FindHandle(handle);
    auto* set = dynamic_cast<DeviceInfoSet*>(keep->get());
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    *node = nullptr;
    if (!data)
        return set;
    if (data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved == 0 || data->Reserved > set->nodes.size() ||
        set->nodes[data->Reserved - 1]->Handle() != data->DevInst) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *node = set->nodes[data->Reserved - 1];
    return set;
}

BOOL WINAPI TestbedSetupDiGetDeviceRegistryPropertyW(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD property,
                                                     PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiGetDeviceRegistryPropertyW)>(kSetupApi, "SetupDiGetDeviceRegistryPropertyW");
        return real(handle, data, property, type, buffer, size, required);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceNode* node = nullptr;
    if (!SetAndNode(*machine, handle, data, &keep, &node))
        return FALSE;
    if (!node)
        return Fail(ERROR_INVALID_PARAMETER);
    // The configuration manager numbers the same properties one higher (CM_DRP_* = SPDRP_* + 1).
    const std::wstring* value = node->FindProperty(property + 1);
    if (!value)
        return Fail(ERROR_INVALID_DATA);
    DWORD needed = DWORD((value->size() + 1) * sizeof(WCHAR));
    if (type)
        *type = REG_SZ;
    if (required)
        *required = needed;
    if (!buffer || size < needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, value->c_str(), needed);
    return TRUE;
}

BOOL WINAPI TestbedSetupDiGetDeviceInstanceIdW(HDEVINFO handle, PSP_DEVINFO_DATA data, PWSTR buffer, DWORD size,
                                               PDWORD required)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiGetDeviceInstanceIdW)>(kSetupApi, "SetupDiGetDeviceInstanceIdW");
        return real(handle, data, buffer, size, required);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceNode* node = nullptr;
    if (!SetAndNode(*machine, handle, data, &keep, &node))
        return FALSE;
    if (!node)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::wstring& id = node->InstanceId();
    if (required)
        *required = DWORD(id.size() + 1);
    if (!buffer || size < id.size() + 1)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI TestbedSetupDiSetClassInstallParamsW(HDEVINFO handle, PSP_DEVINFO_DATA data,
                                                 PSP_CLASSINSTALL_HEADER header, DWORD size)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiSetClassInstallParamsW)>(kSetupApi, "SetupDiSetClassInstallParamsW");
        return real(handle, data, header, size);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceNode* node = nullptr;
    DeviceInfoSet* set = SetAndNode(*machine, handle, data, &keep, &node);
    if (!set)
        return FALSE;
    if (!header) {
        set->propertyChange.erase(node);
        return TRUE;
    }
    // The header's size is its own, not the whole block's; the block's size comes apart.
    if (header->cbSize != sizeof(SP_CLASSINSTALL_HEADER))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (header->InstallFunction != DIF_PROPERTYCHANGE || size != sizeof(SP_PROPCHANGE_PARAMS))
        return Fail(ERROR_INVALID_PARAMETER);
    SP_PROPCHANGE_PARAMS params;
    std::memcpy(&params, header, sizeof params);
    set->propertyChange[node] = params;
    return TRUE;
}

BOOL WINAPI TestbedSetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO handle, PSP_DEVINFO_DATA data)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiCallClassInstaller)>(kSetupApi, "SetupDiCallClassInstaller");
        return real(function, handle, data);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceNode* node = nullptr;
    DeviceInfoSet* set = SetAndNode(*machine, handle, data, &keep, &node);
    if (!set)
        return FALSE;
    if (function != DIF_PROPERTYCHANGE || !node)
        return Fail(ERROR_INVALID_PARAMETER);
    auto params = set->propertyChange.find(node);
    if (params == set->propertyChange.end())
        params = set->propertyChange.find(nullptr);
    if (params == set->propertyChange.end())
        return Fail(ERROR_NO_ASSOCIATED_CLASS);
    DWORD flags = 0;
    if (!machine->Installer().PropertyChange(*node, params->second.StateChange, params->second.Scope,
                                             params->second.HwProfile, &flags))
        return FALSE;
    set->installFlags[node] |= flags;
    return TRUE;
}

BOOL WINAPI TestbedSetupDiGetDeviceInstallParamsW(HDEVINFO handle, PSP_DEVINFO_DATA data,
                                                  PSP_DEVINSTALL_PARAMS_W params)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiGetDeviceInstallParamsW)>(kSetupApi, "SetupDiGetDeviceInstallParamsW");
        return real(handle, data, params);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceNode* node = nullptr;
    DeviceInfoSet* set = SetAndNode(*machine, handle, data, &keep, &node);
    if (!set)
        return FALSE;
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W))
        return Fail(ERROR_INVALID_USER_BUFFER);
    DWORD size = params->cbSize;
    std::memset(params, 0, sizeof *params);
    params->cbSize = size;
    auto flags = set->installFlags.find(node);
    params->Flags = flags == set->installFlags.end() ? 0 : flags->second;
    return TRUE;
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(SetupDiGetDeviceRegistryPropertyW, 28, testbed::TestbedSetupDiGetDeviceRegistryPropertyW)
TESTBED_INTERPOSE(SetupDiGetDeviceInstanceIdW, 20, testbed::TestbedSetupDiGetDeviceInstanceIdW)
TESTBED_INTERPOSE(SetupDiSetClassInstallParamsW, 16, testbed::TestbedSetupDiSetClassInstallParamsW)
TESTBED_INTERPOSE(SetupDiCallClassInstaller, 12, testbed::TestbedSetupDiCallClassInstaller)
TESTBED_INTERPOSE(SetupDiGetDeviceInstallParamsW, 12, testbed::TestbedSetupDiGetDeviceInstallParamsW)
