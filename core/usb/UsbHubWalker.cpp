#include "core/usb/UsbHubWalker.h"

#include "classlib/ScopedDevInfoList.h"

#include "core/usb/UsbDeviceHandle.h"
#include "core/usb/UsbRequests.h"

#include <setupapi.h>

#include <cstddef>

namespace {

// GUID_DEVINTERFACE_USB_HOST_CONTROLLER.
const GUID kHostControllerInterface = {0x3abf6f2d, 0x71c4, 0x462a, {0x8a, 0x92, 0x1e, 0x68, 0x61, 0xe6, 0xaf, 0x27}};

const int kDeepestHubChain = 7;

CString UpperProperty(ULONG property, DEVINST node)
{
    CString text;
    GetDevNodeProperty(property, node, text);
    text.MakeUpper();
    return text;
}

bool IsHostController(DEVINST node)
{
    if (UpperProperty(CM_DRP_SERVICE, node) == CString(L"UHCD"))
        return true;
    CString description = UpperProperty(CM_DRP_DEVICEDESC, node);
    return description.Find(L"USB") >= 0 && (description.Find(L"ホスト") >= 0 || description.Find(L"HOST") >= 0);
}

bool IsHub(DEVINST node)
{
    if (UpperProperty(CM_DRP_SERVICE, node) == CString(L"USBHUB"))
        return true;
    CString description = UpperProperty(CM_DRP_DEVICEDESC, node);
    return description.Find(L"ルート ハブ") >= 0 || description.Find(L"ROOT HUB") >= 0 ||
           description.Find(L"汎用 USB ハブ") >= 0;
}

}  // namespace

void UsbHubWalker::Walk()
{
    visitedControllers_.clear();
    if (passFlags_ & WALK_CONTROLLERS_BY_NAME)
        WalkHostControllers();
    if (passFlags_ & WALK_CONTROLLER_INTERFACES)
        WalkHostControllerInterfaces();
    if (passFlags_ & WALK_DEVICE_TREE)
        WalkDeviceTree();
}

void UsbHubWalker::WalkHostControllers()
{
    for (int i = 0; i < 10; ++i) {
        WCHAR path[32];
        wsprintfW(path, L"\\\\.\\HCD%d", i);
        OpenHostController(CString(path));
    }
}

void UsbHubWalker::WalkHostControllerInterfaces()
{
    ScopedDevInfoList set(SetupDiGetClassDevsW(&kHostControllerInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsValid())
        return;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &kHostControllerInterface, index, &data); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<BYTE> buffer(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        // The record's own size (6 on x86, 8 on x64), not the buffer's.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, detail, required, nullptr, nullptr))
            continue;
        size_t chars = (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
        OpenHostController(CString(detail->DevicePath, chars));
    }
}

bool UsbHubWalker::NoteController(CString driverKey)
{
    driverKey.MakeUpper();
    for (const CString& visited : visitedControllers_)
        if (visited == driverKey)
            return false;
    visitedControllers_.push_back(driverKey);
    return true;
}

void UsbHubWalker::OpenHostController(const CString& path)
{
    bool isNew = false;
    {
        UsbDeviceHandle controller(path);
        if (!controller.IsOpen())
            return;
        CString driverKey;
        if (GetHcdDriverKeyName(controller.Get(), driverKey))
            isNew = NoteController(driverKey);
    }
    if (isNew)
        OpenRootHub(path);
}

void UsbHubWalker::OpenRootHub(const CString& controllerPath)
{
    CString rootHub;
    BOOL named = FALSE;
    {
        UsbDeviceHandle controller(controllerPath);
        if (!controller.IsOpen())
            return;
        named = GetRootHubName(controller.Get(), rootHub);
    }
    if (named)
        OpenHub(rootHub);
}

void UsbHubWalker::OpenHub(const CString& hubName)
{
    if (hubDepth_ >= kDeepestHubChain)
        return;
    UsbDeviceHandle hub(CString(L"\\\\.\\") + hubName);
    if (!hub.IsOpen())
        return;
    USB_NODE_INFORMATION node = {};
    DWORD returned = 0;
    if (!DeviceIoControl(hub.Get(), IOCTL_USB_GET_NODE_INFORMATION, &node, sizeof node, &node, sizeof node, &returned, nullptr))
        return;
    ULONG ports = node.u.HubInformation.HubDescriptor.bNumberOfPorts;
    ++hubDepth_;
    for (ULONG port = 1; port <= ports; ++port)
        OnPort(hub.Get(), port);
    --hubDepth_;
}

void UsbHubWalker::OnPort(HANDLE hub, ULONG port)
{
    UsbConnectionInformation information;
    if (!GetNodeConnectionInfo(hub, port, information))
        return;
    if (information.info.DeviceIsHub)
        OnChildHub(hub, port, information);
    else
        OnDevice(hub, port, information);
}

void UsbHubWalker::OnChildHub(HANDLE hub, ULONG port, const UsbConnectionInformation&)
{
    CString name;
    if (GetNodeConnectionName(hub, port, name))
        OpenHub(name);
}

void UsbHubWalker::OnHubDevNode(DEVINST) {}

void UsbHubWalker::OnOtherDevNode(DEVINST) {}

void UsbHubWalker::OnDevice(HANDLE, ULONG, const UsbConnectionInformation&) {}

void UsbHubWalker::WalkDeviceTree()
{
    ScopedDevInfoList set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.IsValid())
        return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        DEVINST child = 0;
        if (CM_Get_Child(&child, device.DevInst, 0) != CR_SUCCESS)
            continue;
        if (!IsHostController(device.DevInst))
            continue;
        CString driverKey;
        GetDevNodeProperty(CM_DRP_DRIVER, device.DevInst, driverKey);
        if (NoteController(driverKey))
            VisitControllerChildren(device.DevInst);
    }
}

void UsbHubWalker::VisitControllerChildren(DEVINST controller)
{
    DEVINST child = 0;
    if (CM_Get_Child(&child, controller, 0) == CR_SUCCESS)
        VisitDevNode(child);
}

void UsbHubWalker::VisitDevNode(DEVINST node)
{
    // Siblings in a loop rather than by recursion: the order is the same, the stack is not.
    for (;;) {
        if (IsHub(node)) {
            OnHubDevNode(node);
            DEVINST child = 0;
            if (CM_Get_Child(&child, node, 0) == CR_SUCCESS)
                VisitDevNode(child);
        } else {
            OnOtherDevNode(node);
        }
        DEVINST sibling = 0;
        if (CM_Get_Sibling(&sibling, node, 0) != CR_SUCCESS)
            return;
        node = sibling;
    }
}
