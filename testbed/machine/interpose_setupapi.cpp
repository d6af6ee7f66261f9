//
//  SetupAPI's device information sets and the configuration manager's device-node calls,
//  answered from the machine's device tree. Without a machine they go to the system.
//
#include "testbed/machine/OpenObjects.h"
#include "testbed/machine/interpose.h"

#include <setupapi.h>

#include <cstddef>
#include <cstring>

namespace testbed {
namespace {

const wchar_t kSetupApi[] = L"setupapi.dll";
const wchar_t kCfgMgr[] = L"cfgmgr32.dll";

DeviceInfoSet* SetOf(Machine& machine, HDEVINFO handle, std::shared_ptr<OpenObject>* keep)
{
    *keep = machine.FindHandle(handle);
    return dynamic_cast<DeviceInfoSet*>(keep->get());
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

HDEVINFO WINAPI TestbedSetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiGetClassDevsW)>(kSetupApi, "SetupDiGetClassDevsW");
        return real(classGuid, enumerator, parent, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    auto set = std::make_shared<DeviceInfoSet>();
    if (flags & DIGCF_DEVICEINTERFACE) {
        if (!classGuid) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        set->interfaces = machine->Interfaces(*classGuid);
        for (const auto& entry : set->interfaces)
            set->nodes.push_back(entry.node);
    } else {
        std::wstring prefix = enumerator ? Upper(std::wstring(enumerator) + L"\\") : std::wstring();
        // Without DIGCF_PRESENT the set also holds the devices that are installed but not
        // connected, as the system keeps them.
        for (DeviceNode* node : (flags & DIGCF_PRESENT) ? machine->PresentNodes() : machine->AllNodes()) {
            if (!(flags & DIGCF_ALLCLASSES) && (!classGuid || !IsEqualGUID(node->classGuid, *classGuid)))
                continue;
            if (!prefix.empty() && Upper(node->InstanceId()).compare(0, prefix.size(), prefix) != 0)
                continue;
            set->nodes.push_back(node);
        }
    }
    return machine->OpenHandle(set);
}

BOOL WINAPI TestbedSetupDiDestroyDeviceInfoList(HDEVINFO handle)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiDestroyDeviceInfoList)>(kSetupApi, "SetupDiDestroyDeviceInfoList");
        return real(handle);
    }
    std::shared_ptr<OpenObject> keep;
    if (!SetOf(*machine, handle, &keep))
        return Fail(ERROR_INVALID_HANDLE);
    machine->CloseMachineHandle(handle);
    return TRUE;
}

void FillDevInfo(SP_DEVINFO_DATA* data, const DeviceNode& node, size_t index)
{
    data->ClassGuid = node.classGuid;
    data->DevInst = node.Handle();
    data->Reserved = ULONG_PTR(index + 1);
}

BOOL WINAPI TestbedSetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiEnumDeviceInfo)>(kSetupApi, "SetupDiEnumDeviceInfo");
        return real(handle, index, data);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceInfoSet* set = SetOf(*machine, handle, &keep);
    if (!set)
        return Fail(ERROR_INVALID_HANDLE);
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= set->nodes.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    FillDevInfo(data, *set->nodes[index], index);
    return TRUE;
}

BOOL WINAPI TestbedSetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device, const GUID* classGuid,
                                               DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiEnumDeviceInterfaces)>(kSetupApi, "SetupDiEnumDeviceInterfaces");
        return real(handle, device, classGuid, index, data);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceInfoSet* set = SetOf(*machine, handle, &keep);
    if (!set)
        return Fail(ERROR_INVALID_HANDLE);
    if (!classGuid || !data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    // Only the interfaces of the asked class (and of the asked device) count for the index.
    DWORD seen = 0;
    for (size_t i = 0; i < set->interfaces.size(); ++i) {
        const DeviceInterface& entry = set->interfaces[i];
        if (!IsEqualGUID(entry.classGuid, *classGuid))
            continue;
        if (device && device->DevInst != entry.node->Handle())
            continue;
        if (seen++ == index) {
            data->InterfaceClassGuid = entry.classGuid;
            data->Flags = SPINT_ACTIVE;
            data->Reserved = ULONG_PTR(i + 1);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WINAPI TestbedSetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                                    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                    PDWORD requiredSize, PSP_DEVINFO_DATA device)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SetupDiGetDeviceInterfaceDetailW)>(kSetupApi, "SetupDiGetDeviceInterfaceDetailW");
        return real(handle, data, detail, detailSize, requiredSize, device);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    std::shared_ptr<OpenObject> keep;
    DeviceInfoSet* set = SetOf(*machine, handle, &keep);
    if (!set)
        return Fail(ERROR_INVALID_HANDLE);
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > set->interfaces.size())
        return Fail(ERROR_INVALID_PARAMETER);
    const DeviceInterface& entry = set->interfaces[data->Reserved - 1];
    DWORD required = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (entry.path.size() + 1) * sizeof(WCHAR));
    if (requiredSize)
        *requiredSize = required;
    if (!detail)
        return Fail(detailSize ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
    // The detail record's size field must be the caller's platform size (6 on x86, 8 on x64),
    // not the size of the whole buffer.
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (detailSize < required)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (device && device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    std::memcpy(detail->DevicePath, entry.path.c_str(), (entry.path.size() + 1) * sizeof(WCHAR));
    if (device)
        FillDevInfo(device, *entry.node, data->Reserved - 1);
    return TRUE;
}

CONFIGRET WINAPI TestbedCM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W id, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Locate_DevNodeW)>(kCfgMgr, "CM_Locate_DevNodeW");
        return real(devInst, id, flags);
    }
    if (!devInst)
        return CR_INVALID_POINTER;
    *devInst = 0;
    if (!id || !*id) {
        *devInst = machine->Root().Handle();
        return CR_SUCCESS;
    }
    DeviceNode* node = machine->FindNode(std::wstring(id));
    if (!node)
        return CR_NO_SUCH_DEVNODE;
    *devInst = node->Handle();
    return CR_SUCCESS;
}

enum class Relative { Child, Sibling, Parent };

CONFIGRET Related(PDEVINST result, DEVINST of, Relative relative)
{
    Machine& machine = *Machine::Current();
    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    if (!result)
        return CR_INVALID_POINTER;
    *result = 0;
    DeviceNode* node = machine.FindNode(of);
    if (!node)
        return CR_INVALID_DEVNODE;
    DeviceNode* found = nullptr;
    switch (relative) {
    case Relative::Child:
        if (!node->Children().empty())
            found = node->Children().front();
        break;
    case Relative::Parent:
        found = node->Parent();
        break;
    case Relative::Sibling:
        if (DeviceNode* parent = node->Parent()) {
            const auto& siblings = parent->Children();
            for (size_t i = 0; i + 1 < siblings.size(); ++i)
                if (siblings[i] == node)
                    found = siblings[i + 1];
        }
        break;
    }
    if (!found)
        return CR_NO_SUCH_DEVNODE;
    *result = found->Handle();
    return CR_SUCCESS;
}

CONFIGRET WINAPI TestbedCM_Get_Child(PDEVINST child, DEVINST of, ULONG flags)
{
    if (!Machine::Current()) {
        static auto real = RealFunction<decltype(&::CM_Get_Child)>(kCfgMgr, "CM_Get_Child");
        return real(child, of, flags);
    }
    return Related(child, of, Relative::Child);
}

CONFIGRET WINAPI TestbedCM_Get_Sibling(PDEVINST sibling, DEVINST of, ULONG flags)
{
    if (!Machine::Current()) {
        static auto real = RealFunction<decltype(&::CM_Get_Sibling)>(kCfgMgr, "CM_Get_Sibling");
        return real(sibling, of, flags);
    }
    return Related(sibling, of, Relative::Sibling);
}

CONFIGRET WINAPI TestbedCM_Get_Parent(PDEVINST parent, DEVINST of, ULONG flags)
{
    if (!Machine::Current()) {
        static auto real = RealFunction<decltype(&::CM_Get_Parent)>(kCfgMgr, "CM_Get_Parent");
        return real(parent, of, flags);
    }
    return Related(parent, of, Relative::Parent);
}

CONFIGRET WINAPI TestbedCM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG length, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Get_Device_IDW)>(kCfgMgr, "CM_Get_Device_IDW");
        return real(devInst, buffer, length, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!buffer)
        return CR_INVALID_POINTER;
    DeviceNode* node = machine->FindNode(devInst);
    if (!node)
        return CR_INVALID_DEVNODE;
    const std::wstring& id = node->InstanceId();
    if (length < id.size() + 1)
        return CR_BUFFER_SMALL;
    std::memcpy(buffer, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    return CR_SUCCESS;
}

CONFIGRET WINAPI TestbedCM_Get_DevNode_Registry_PropertyW(DEVINST devInst, ULONG property, PULONG type, PVOID buffer,
                                                          PULONG length, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Get_DevNode_Registry_PropertyW)>(kCfgMgr, "CM_Get_DevNode_Registry_PropertyW");
        return real(devInst, property, type, buffer, length, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!length)
        return CR_INVALID_POINTER;
    DeviceNode* node = machine->FindNode(devInst);
    if (!node)
        return CR_INVALID_DEVNODE;
    const std::wstring* value = node->FindProperty(property);
    if (!value)
        return CR_NO_SUCH_VALUE;
    ULONG needed = ULONG((value->size() + 1) * sizeof(WCHAR));
    if (type)
        *type = REG_SZ;
    if (!buffer || *length < needed) {
        *length = needed;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, value->c_str(), needed);
    *length = needed;
    return CR_SUCCESS;
}

CONFIGRET WINAPI TestbedCM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST devInst, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Get_DevNode_Status)>(kCfgMgr, "CM_Get_DevNode_Status");
        return real(status, problem, devInst, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!status || !problem)
        return CR_INVALID_POINTER;
    DeviceNode* node = machine->FindNode(devInst);
    if (!node)
        return CR_INVALID_DEVNODE;
    *status = node->status;
    *problem = node->problem;
    return CR_SUCCESS;
}

// The ids CM_Get_Device_ID_List* report for a filter; false when the filter is not served.
bool IdList(Machine& machine, PCWSTR filter, ULONG flags, std::wstring* list, CONFIGRET* error)
{
    list->clear();
    if (flags == CM_GETIDLIST_FILTER_NONE) {
        for (DeviceNode* node : machine.PresentNodes())
            *list += node->InstanceId() + L'\0';
    } else if (flags == CM_GETIDLIST_FILTER_REMOVALRELATIONS) {
        DeviceNode* node = filter ? machine.FindNode(std::wstring(filter)) : nullptr;
        if (!node) {
            *error = CR_INVALID_DEVICE_ID;
            return false;
        }
        for (DeviceNode* dependent : node->RemovalRelations())
            if (dependent->Present())
                *list += dependent->InstanceId() + L'\0';
    } else {
        *error = CR_INVALID_FLAG;
        return false;
    }
    *list += L'\0';
    return true;
}

CONFIGRET WINAPI TestbedCM_Get_Device_ID_List_SizeW(PULONG length, PCWSTR filter, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Get_Device_ID_List_SizeW)>(kCfgMgr, "CM_Get_Device_ID_List_SizeW");
        return real(length, filter, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!length)
        return CR_INVALID_POINTER;
    *length = 0;
    std::wstring list;
    CONFIGRET error = CR_SUCCESS;
    if (!IdList(*machine, filter, flags, &list, &error))
        return error;
    *length = ULONG(list.size());
    return CR_SUCCESS;
}

CONFIGRET WINAPI TestbedCM_Get_Device_ID_ListW(PCWSTR filter, PZZWSTR buffer, ULONG length, ULONG flags)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::CM_Get_Device_ID_ListW)>(kCfgMgr, "CM_Get_Device_ID_ListW");
        return real(filter, buffer, length, flags);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!buffer || !length)
        return CR_INVALID_POINTER;
    std::wstring list;
    CONFIGRET error = CR_SUCCESS;
    if (!IdList(*machine, filter, flags, &list, &error))
        return error;
    if (length < list.size())
        return CR_BUFFER_SMALL;
    std::memcpy(buffer, list.data(), list.size() * sizeof(WCHAR));
    return CR_SUCCESS;
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(SetupDiGetClassDevsW, 16, testbed::TestbedSetupDiGetClassDevsW)
TESTBED_INTERPOSE(SetupDiDestroyDeviceInfoList, 4, testbed::TestbedSetupDiDestroyDeviceInfoList)
TESTBED_INTERPOSE(SetupDiEnumDeviceInfo, 12, testbed::TestbedSetupDiEnumDeviceInfo)
TESTBED_INTERPOSE(SetupDiEnumDeviceInterfaces, 20, testbed::TestbedSetupDiEnumDeviceInterfaces)
TESTBED_INTERPOSE(SetupDiGetDeviceInterfaceDetailW, 24, testbed::TestbedSetupDiGetDeviceInterfaceDetailW)
TESTBED_INTERPOSE(CM_Locate_DevNodeW, 12, testbed::TestbedCM_Locate_DevNodeW)
TESTBED_INTERPOSE(CM_Get_Child, 12, testbed::TestbedCM_Get_Child)
TESTBED_INTERPOSE(CM_Get_Sibling, 12, testbed::TestbedCM_Get_Sibling)
TESTBED_INTERPOSE(CM_Get_Parent, 12, testbed::TestbedCM_Get_Parent)
TESTBED_INTERPOSE(CM_Get_Device_IDW, 16, testbed::TestbedCM_Get_Device_IDW)
TESTBED_INTERPOSE(CM_Get_DevNode_Registry_PropertyW, 24, testbed::TestbedCM_Get_DevNode_Registry_PropertyW)
TESTBED_INTERPOSE(CM_Get_DevNode_Status, 16, testbed::TestbedCM_Get_DevNode_Status)
TESTBED_INTERPOSE(CM_Get_Device_ID_List_SizeW, 12, testbed::TestbedCM_Get_Device_ID_List_SizeW)
TESTBED_INTERPOSE(CM_Get_Device_ID_ListW, 16, testbed::TestbedCM_Get_Device_ID_ListW)
