#include "core/usb/UsbDeviceEnumerator.h"

#include "core/system/OSVersion.h"
#include "core/usb/UsbRequests.h"
#include "core/volume/VolumeMap.h"

#include <vector>

namespace {

const DWORD kStringInfo = UsbDeviceEnumerator::INFO_MANUFACTURER | UsbDeviceEnumerator::INFO_PRODUCT;
const DWORD kNodeInfo = UsbDeviceEnumerator::INFO_NODE_IDS | UsbDeviceEnumerator::INFO_NODE_OBJECT_NAMES |
                        UsbDeviceEnumerator::INFO_NODE_FRIENDLY_NAMES | UsbDeviceEnumerator::INFO_NODE_DESCRIPTIONS |
                        UsbDeviceEnumerator::INFO_VOLUMES;

// Keeps the "insert a disk" dialog away while drives are probed. The thread's own error mode
// where the system has one (Windows 7 on), so that other threads keep theirs; the process's
// error mode before that.
class CriticalErrorsFailQuietly {
public:
    CriticalErrorsFailQuietly()
    {
        setThreadErrorMode_ = reinterpret_cast<SetThreadErrorModeFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadErrorMode")));
        if (setThreadErrorMode_) {
            if (!setThreadErrorMode_(SEM_FAILCRITICALERRORS, &previous_))
                setThreadErrorMode_ = nullptr;
        } else {
            previous_ = SetErrorMode(SEM_FAILCRITICALERRORS);
        }
    }
    ~CriticalErrorsFailQuietly()
    {
        if (setThreadErrorMode_)
            setThreadErrorMode_(previous_, nullptr);
        else
            SetErrorMode(previous_);
    }
    CriticalErrorsFailQuietly(const CriticalErrorsFailQuietly&) = delete;
    CriticalErrorsFailQuietly& operator=(const CriticalErrorsFailQuietly&) = delete;

private:
    typedef BOOL(WINAPI* SetThreadErrorModeFn)(DWORD, LPDWORD);
    SetThreadErrorModeFn setThreadErrorMode_ = nullptr;
    DWORD previous_ = 0;
};

}  // namespace

UsbDeviceEnumerator::UsbDeviceEnumerator(std::vector<UsbStorageDevice>& result)
    : UsbHubWalker(WALK_CONTROLLERS_BY_NAME | WALK_CONTROLLER_INTERFACES), result_(&result)
{
}

void UsbDeviceEnumerator::Walk()
{
    AdjustOptions();
    result_->clear();
    WalkVolumes();
    UsbHubWalker::Walk();
}

void UsbDeviceEnumerator::AdjustOptions()
{
    // Drives are probed for the descriptor retry only from Windows 8.1 on.
    COSVersion version;
    driveLettersOn_ = version.IsBefore6_3() ? FALSE : TRUE;
    if (driveLettersOn_ && (infoMask_ & kStringInfo))
        infoMask_ |= INFO_VOLUMES;
}

void UsbDeviceEnumerator::WalkVolumes()
{
    volumes_.clear();
    if ((infoMask_ & INFO_VOLUMES) || (driveLettersOn_ && (infoMask_ & kStringInfo))) {
        DWORD flags = (infoMask_ & INFO_VOLUMES) ? (VOLUME_MAP_DRIVE_LETTERS | VOLUME_MAP_DEVICE_IDS) : VOLUME_MAP_DRIVE_LETTERS;
        VolumeMap(volumes_, flags).Build();
    }
}

void UsbDeviceEnumerator::OnDevice(HANDLE hub, ULONG port, const UsbConnectionInformation& information)
{
    if (information.info.ConnectionStatus != DeviceConnected)
        return;
    const USB_DEVICE_DESCRIPTOR& descriptor = information.info.DeviceDescriptor;
    UsbStorageDevice device;
    if (infoMask_ & INFO_VENDOR_ID)
        device.vendorId = descriptor.idVendor;
    if (infoMask_ & INFO_PRODUCT_ID)
        device.productId = descriptor.idProduct;

    BOOL stringsRead = ReadStringDescriptors(hub, port, information, device);
    if (!stringsRead && ResolveDriveLetters(hub, port))
        stringsRead = ReadStringDescriptors(hub, port, information, device);
    if (!stringsRead && (infoMask_ & INFO_SERIAL) && descriptor.iSerialNumber != 0)
        SerialFromInstanceId(hub, port, device);

    // A device without a driver key has no driver; one whose node is gone cannot be told
    // apart from any other. Neither is listed.
    DEVINST node = PortDevNode(hub, port);
    if (node == 0)
        return;
    if (infoMask_ & kNodeInfo)
        BuildNodeTree(node, device);
    if (Accept(device))
        result_->push_back(device);
}

DEVINST UsbDeviceEnumerator::PortDevNode(HANDLE hub, ULONG port)
{
    CString driverKey;
    if (!GetNodeConnectionDriverKeyName(hub, port, driverKey))
        return 0;
    return FindDevNodeByDriverKey(driverKey);
}

BOOL UsbDeviceEnumerator::ReadStringDescriptors(HANDLE hub, ULONG port, const UsbConnectionInformation& information,
                                                UsbStorageDevice& device)
{
    const USB_DEVICE_DESCRIPTOR& descriptor = information.info.DeviceDescriptor;
    const bool manufacturer = (infoMask_ & INFO_MANUFACTURER) && descriptor.iManufacturer != 0;
    const bool product = (infoMask_ & INFO_PRODUCT) && descriptor.iProduct != 0;
    const bool serial = (infoMask_ & INFO_SERIAL) && descriptor.iSerialNumber != 0;
    if (!manufacturer && !product && !serial)
        return TRUE;

    // A request that fails leaves its error, and so does a reply refused as malformed: a
    // string that could not be read never counts as read, so the drive is woken and the
    // serial number falls back to the one in the instance id.
    std::vector<WORD> languages;
    if (!GetLanguageIds(hub, port, languages))
        return GetLastError() != ERROR_SUCCESS ? FALSE : TRUE;
    if (languages.empty())
        return TRUE;

    BOOL result = TRUE;
    struct Wanted {
        bool wanted;
        BYTE index;
        CString* field;
    } wanted[] = {
        {manufacturer, descriptor.iManufacturer, &device.manufacturer},
        {product, descriptor.iProduct, &device.product},
        {serial, descriptor.iSerialNumber, &device.serialNumber},
    };
    for (const Wanted& string : wanted) {
        if (!string.wanted)
            continue;
        CString text;
        if (GetStringDescriptorText(text, hub, port, string.index, languages.front()))
            *string.field = text;
        else if (GetLastError() != ERROR_SUCCESS)
            result = FALSE;
    }
    return result;
}

BOOL UsbDeviceEnumerator::ResolveDriveLetters(HANDLE hub, ULONG port)
{
    if ((infoMask_ & kStringInfo) && driveLettersOn_)
        return FindDriveLetters(hub, port);
    return FALSE;
}

BOOL UsbDeviceEnumerator::FindDriveLetters(HANDLE hub, ULONG port)
{
    DEVINST node = PortDevNode(hub, port);
    if (node == 0)
        return FALSE;
    UsbStorageDevice scratch;
    BuildNodeTree(node, scratch);

    BOOL found = FALSE;
    CriticalErrorsFailQuietly quietly;
    for (auto it = scratch.tree.Begin(); it != scratch.tree.End(); ++it) {
        if (it->info.driveLetter == 0)
            continue;
        WCHAR root[] = {WCHAR(it->info.driveLetter), L':', L'\\', 0};
        DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
        GetDiskFreeSpaceW(root, &sectors, &bytes, &freeClusters, &clusters);
        found = TRUE;
    }
    return found;
}

void UsbDeviceEnumerator::SerialFromInstanceId(HANDLE hub, ULONG port, UsbStorageDevice& device)
{
    DEVINST node = PortDevNode(hub, port);
    CString serial, location;
    WORD vendorId = 0, productId = 0;
    if (ParseUsbInstanceId(serial, node, vendorId, productId, location))
        device.serialNumber = serial;
}

void UsbDeviceEnumerator::BuildNodeTree(DEVINST node, UsbStorageDevice& device)
{
    treeNodes_.clear();
    AddNode(node, device.tree.SetRoot(UsbDeviceNodeInfo()), false, device);
    treeNodes_.clear();
}

void UsbDeviceEnumerator::AddNode(DEVINST node, UsbDeviceTree::Node* treeNode, bool withSiblings, UsbStorageDevice& device)
{
    // Siblings follow in a loop: each one's subtree is complete before the next begins, as
    // the recursion over siblings would have it.
    for (;;) {
        treeNodes_.insert(node);
        FillNodeTexts(node, treeNode->info);
        DEVINST child = 0;
        if (CM_Get_Child(&child, node, 0) == CR_SUCCESS && child != 0 && !treeNodes_.count(child))
            AddNode(child, device.tree.AppendChild(treeNode, UsbDeviceNodeInfo()), true, device);
        AddRemovalRelations(treeNode, device);
        if (!withSiblings)
            return;
        DEVINST sibling = 0;
        if (CM_Get_Sibling(&sibling, node, 0) != CR_SUCCESS || sibling == 0 || treeNodes_.count(sibling))
            return;
        treeNode = device.tree.AppendSibling(treeNode, UsbDeviceNodeInfo());
        node = sibling;
    }
}

void UsbDeviceEnumerator::AddRemovalRelations(UsbDeviceTree::Node* treeNode, UsbStorageDevice& device)
{
    // Only nodes whose instance id was read can be asked for the devices that depend on them.
    const CString id = treeNode->info.instanceId;
    if (id.IsEmpty())
        return;
    ULONG length = 0;
    if (CM_Get_Device_ID_List_SizeW(&length, id, CM_GETIDLIST_FILTER_REMOVALRELATIONS) != CR_SUCCESS || length == 0)
        return;
    std::vector<WCHAR> list(length + 1, 0);
    if (CM_Get_Device_ID_ListW(id, list.data(), length, CM_GETIDLIST_FILTER_REMOVALRELATIONS) != CR_SUCCESS)
        return;
    for (const WCHAR* dependent = list.data(); *dependent; dependent += lstrlenW(dependent) + 1) {
        DEVINST related = 0;
        if (CM_Locate_DevNodeW(&related, const_cast<WCHAR*>(dependent), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
            continue;
        // A relation that leads back into the tree would otherwise be walked for ever.
        if (treeNodes_.count(related))
            continue;
        AddNode(related, device.tree.AppendChild(treeNode, UsbDeviceNodeInfo()), false, device);
    }
}

void UsbDeviceEnumerator::FillNodeTexts(DEVINST node, UsbDeviceNodeInfo& info)
{
    if (infoMask_ & (INFO_NODE_IDS | INFO_VOLUMES))
        GetDeviceInstanceId(node, info.instanceId);
    if (infoMask_ & INFO_NODE_OBJECT_NAMES)
        GetDevNodeProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, node, info.deviceObjectName);
    if (infoMask_ & INFO_NODE_FRIENDLY_NAMES)
        GetDevNodeProperty(CM_DRP_FRIENDLYNAME, node, info.friendlyName);
    if (infoMask_ & INFO_NODE_DESCRIPTIONS)
        GetDevNodeProperty(CM_DRP_DEVICEDESC, node, info.description);
    if ((infoMask_ & INFO_VOLUMES) && !info.instanceId.IsEmpty()) {
        // An empty id names no node: it must never tie a volume to this device.
        for (const VolumeRecord& volume : volumes_)
            if (!volume.deviceInstanceId.IsEmpty() && volume.deviceInstanceId.CompareNoCase(info.instanceId) == 0)
                info.driveLetter = volume.driveLetter;
    }
}

BOOL UsbDeviceEnumerator::Accept(const UsbStorageDevice& device)
{
    if (options_ & OPTION_ONLY_WITH_DRIVE_LETTER)
        return device.tree.HasVolume() ? TRUE : FALSE;
    return TRUE;
}
