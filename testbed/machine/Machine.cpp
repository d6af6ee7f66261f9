#include "testbed/machine/Machine.h"

#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Sessions.h"
#include "testbed/machine/ShellRecorder.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <cwctype>

namespace testbed {

namespace {

std::atomic<Machine*> g_current{nullptr};

// Handles of machine objects live far above the handle values the Wine server hands out, so
// that CloseHandle can tell them apart from real ones.
constexpr ULONG_PTR kFirstMachineHandle = 0x5EB00000;

const wchar_t kUsbClassKey[] = L"{36fc9e60-c465-11cf-8056-444553540000}";
const wchar_t kHubInterfaceGuid[] = L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const wchar_t kHostControllerInterfaceGuid[] = L"{3abf6f2d-71c4-462a-8a92-1e6861e6af27}";
const wchar_t kVolumeInterfaceGuid[] = L"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kDiskInterfaceGuid[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

const GUID kHostControllerInterface = {0x3abf6f2d, 0x71c4, 0x462a, {0x8a, 0x92, 0x1e, 0x68, 0x61, 0xe6, 0xaf, 0x27}};
const GUID kVolumeInterface = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kDiskClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kVolumeClass = {0x71a27cdd, 0x812a, 0x11d0, {0xbe, 0xc7, 0x08, 0x00, 0x2b, 0xe2, 0x09, 0x2f}};

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t buffer[512];
    va_list args;
    va_start(args, format);
    vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
    va_end(args);
    return buffer;
}

// "USB\VID_1&PID_2\3" -> "USB#VID_1&PID_2#3": device ids inside interface and hub names.
std::wstring Hashed(std::wstring id)
{
    for (auto& ch : id)
        if (ch == L'\\')
            ch = L'#';
    return id;
}

std::wstring IdPart(const std::wstring& text)
{
    std::wstring part;
    for (wchar_t ch : text.substr(0, 16))
        part += (ch == L' ') ? L'_' : ch;
    return part.empty() ? L"Generic" : part;
}

}  // namespace

UsbDeviceSpec UsbStick(WORD vendorId, WORD productId, std::wstring manufacturer, std::wstring product,
                       std::wstring serial)
{
    UsbDeviceSpec spec;
    spec.vendorId = vendorId;
    spec.productId = productId;
    spec.manufacturer = std::move(manufacturer);
    spec.product = std::move(product);
    spec.serial = std::move(serial);
    return spec;
}

BYTE UsbDevice::StringIndex(int which) const
{
    switch (which) {
    case 1: return spec_.manufacturer.empty() ? 0 : 1;
    case 2: return spec_.product.empty() ? 0 : 2;
    case 3: return spec_.serial.empty() ? 0 : 3;
    }
    return 0;
}

UsbDevice& UsbDevice::ReplyToString(BYTE index, UsbRawReply reply)
{
    rawReplies_[index] = std::move(reply);
    return *this;
}

UsbHub::UsbHub(Machine& machine, std::wstring name, DeviceNode* node, int ports)
    : machine_(machine), name_(std::move(name)), node_(node), ports_(static_cast<size_t>(ports))
{
}

UsbDevice& UsbHub::Plug(int port, UsbDeviceSpec spec)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    if (port < 1 || port > PortCount())
        throw std::out_of_range("no such port");
    if (Port(port).device)
        Unplug(port);
    UsbDevice& device = machine_.NewDevice(std::move(spec));
    machine_.PlugDevice(*this, port, device, node_->InstanceId());
    return device;
}

UsbHub& UsbHub::PlugHub(int port, int ports)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    UsbDeviceSpec spec;
    spec.vendorId = 0x05E3;
    spec.productId = 0x0608;
    spec.deviceClass = 9;
    spec.product = L"USB2.0 Hub";
    spec.service = L"usbhub";
    spec.description = L"Generic USB Hub";
    spec.storage = false;
    UsbDevice& device = Plug(port, spec);
    device.hub_ = &machine_.NewHub(machine_.NextHubName(device.node_->InstanceId()), device.node_, ports);
    return *device.hub_;
}

void UsbHub::Unplug(int port)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    UsbPort& slot = Port(port);
    UsbDevice* device = slot.device;
    if (!device)
        return;
    if (device->hub_) {
        for (int child = 1; child <= device->hub_->PortCount(); ++child)
            device->hub_->Unplug(child);
        device->hub_->present_ = false;
    }
    if (device->node_)
        machine_.RemoveNode(*device->node_);
    slot.device = nullptr;
    slot.status = 0;
}

Machine::Machine()
{
    Machine* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, this))
        throw std::logic_error("one simulated machine at a time");
    nodes_.push_back(std::make_unique<DeviceNode>(1, nullptr, L"HTREE\\ROOT\\0"));
}

Machine::~Machine()
{
    g_current.store(nullptr);
}

Machine* Machine::Current()
{
    return g_current.load();
}

DeviceNode& Machine::AddNode(DeviceNode& parent, std::wstring instanceId)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto handle = static_cast<DEVINST>(nodes_.size() + 1);
    nodes_.push_back(std::make_unique<DeviceNode>(handle, &parent, std::move(instanceId)));
    DeviceNode& node = *nodes_.back();
    parent.children_.push_back(&node);
    node.SetProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, NextObjectName());
    return node;
}

void Machine::RemoveNode(DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!node.present_)
        return;
    // Removal takes the dependents with it, as the PnP manager does for a disk's volumes.
    node.present_ = false;
    for (DeviceNode* dependent : node.removalRelations_)
        RemoveNode(*dependent);
    while (!node.children_.empty())
        RemoveNode(*node.children_.back());
    if (node.parent_) {
        auto& siblings = node.parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), &node), siblings.end());
    }
    for (auto& volume : volumes_)
        if (volume->node == &node)
            volume->present = false;
}

DeviceNode* Machine::FindNode(DEVINST handle)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (handle == 0 || handle > nodes_.size())
        return nullptr;
    DeviceNode* node = nodes_[handle - 1].get();
    return node->present_ ? node : nullptr;
}

DeviceNode* Machine::FindNode(const std::wstring& instanceId)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (auto& node : nodes_)
        if (node->present_ && SameName(node->instanceId_, instanceId))
            return node.get();
    return nullptr;
}

DeviceInterface& Machine::AddInterface(const GUID& classGuid, DeviceNode& node, std::wstring path)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    interfaces_.push_back(DeviceInterface{classGuid, std::move(path), &node});
    return interfaces_.back();
}

std::vector<DeviceInterface> Machine::Interfaces(const GUID& classGuid)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::vector<DeviceInterface> found;
    for (const auto& entry : interfaces_)
        if (entry.node->present_ && IsEqualGUID(entry.classGuid, classGuid))
            found.push_back(entry);
    return found;
}

std::vector<DeviceNode*> Machine::PresentNodes()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::vector<DeviceNode*> order;
    std::function<void(DeviceNode&)> visit = [&](DeviceNode& node) {
        for (DeviceNode* child : node.children_) {
            order.push_back(child);
            visit(*child);
        }
    };
    visit(Root());
    return order;
}

std::vector<DeviceNode*> Machine::AllNodes()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::vector<DeviceNode*> all;
    for (size_t i = 1; i < nodes_.size(); ++i)
        all.push_back(nodes_[i].get());
    return all;
}

void Machine::ReturnNode(DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (node.present_ || !node.parent_ || !node.parent_->present_)
        return;
    node.present_ = true;
    node.parent_->children_.push_back(&node);
}

ClassInstaller& Machine::Installer()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!installer_)
        installer_ = std::make_unique<ClassInstaller>(*this);
    return *installer_;
}

UserSessions& Machine::Sessions()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!sessions_)
        sessions_ = std::make_unique<UserSessions>(*this);
    return *sessions_;
}

ShellRecorder& Machine::Shell()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!shell_)
        shell_ = std::make_unique<ShellRecorder>();
    return *shell_;
}

std::wstring Machine::NextDriverKey()
{
    return Format(L"%ls\\%04u", kUsbClassKey, driverKeys_++);
}

std::wstring Machine::NextHubName(const std::wstring& deviceId)
{
    return Hashed(deviceId) + L"#" + kHubInterfaceGuid;
}

std::wstring Machine::NextObjectName()
{
    return Format(L"\\Device\\%08x", 0x30u + objectNames_++);
}

UsbHub& Machine::NewHub(std::wstring name, DeviceNode* node, int ports)
{
    hubs_.push_back(std::unique_ptr<UsbHub>(new UsbHub(*this, std::move(name), node, ports)));
    return *hubs_.back();
}

UsbDevice& Machine::NewDevice(UsbDeviceSpec spec)
{
    devices_.push_back(std::make_unique<UsbDevice>());
    devices_.back()->spec_ = std::move(spec);
    return *devices_.back();
}

UsbHostController& Machine::AddHostController(int rootPorts, Reach reach)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto controller = std::make_unique<UsbHostController>();
    unsigned number = static_cast<unsigned>(controllers_.size());
    if (static_cast<int>(reach) & static_cast<int>(Reach::ByName))
        controller->hcdIndex_ = nextHcdIndex_++;
    std::wstring pciId = Format(L"PCI\\VEN_8086&DEV_1E%02X&SUBSYS_00000000&REV_04\\3&11583659&0&%02X", 0x26 + number, 0xD0 + number);
    DeviceNode& node = AddNode(Root(), pciId);
    node.classGuid = kUsbClass;
    controller->driverKey_ = NextDriverKey();
    node.SetProperty(CM_DRP_DRIVER, controller->driverKey_)
        .SetProperty(CM_DRP_SERVICE, L"usbehci")
        .SetProperty(CM_DRP_DEVICEDESC, L"Standard Enhanced PCI to USB Host Controller");
    controller->node_ = &node;
    if (static_cast<int>(reach) & static_cast<int>(Reach::ByInterface)) {
        controller->interfacePath_ = L"\\\\?\\" + Upper(Hashed(pciId)) + L"#" + kHostControllerInterfaceGuid;
        AddInterface(kHostControllerInterface, node, controller->interfacePath_);
    }
    DeviceNode& hubNode = AddNode(node, Format(L"USB\\ROOT_HUB20\\4&%X&0", 0x2B3F5E20 + number));
    hubNode.classGuid = kUsbClass;
    hubNode.SetProperty(CM_DRP_DRIVER, NextDriverKey())
        .SetProperty(CM_DRP_SERVICE, L"usbhub")
        .SetProperty(CM_DRP_DEVICEDESC, L"USB Root Hub");
    controller->rootHub_ = &NewHub(NextHubName(hubNode.InstanceId()), &hubNode, rootPorts);
    controllers_.push_back(std::move(controller));
    return *controllers_.back();
}

void Machine::PlugDevice(UsbHub& hub, int port, UsbDevice& device, const std::wstring& parentId)
{
    const UsbDeviceSpec& spec = device.spec_;
    std::wstring id = spec.instanceId;
    if (id.empty()) {
        std::wstring tail = spec.serial.empty()
            ? Format(L"5&%X&0&%d", 0x1D7BD3A0u + static_cast<unsigned>(parentId.size() * 31 + hubs_.size()), port)
            : spec.serial;
        id = Format(L"USB\\VID_%04X&PID_%04X\\", spec.vendorId, spec.productId) + tail;
    }
    DeviceNode& node = AddNode(*hub.node_, id);
    node.classGuid = kUsbClass;
    node.SetProperty(CM_DRP_SERVICE, spec.service)
        .SetProperty(CM_DRP_DEVICEDESC, spec.description)
        .SetProperty(CM_DRP_LOCATION_INFORMATION, Format(L"Port_#%04d.Hub_#%04u", port, static_cast<unsigned>(hubs_.size())));
    if (spec.hasDriverKey) {
        device.driverKey_ = NextDriverKey();
        node.SetProperty(CM_DRP_DRIVER, device.driverKey_);
    }
    device.node_ = &node;
    device.address_ = static_cast<BYTE>(1 + nodes_.size() % 126);
    if (spec.storage) {
        std::wstring diskId = L"USBSTOR\\DISK&VEN_" + IdPart(spec.manufacturer) + L"&PROD_" + IdPart(spec.product) +
                              L"&REV_1.00\\" + (spec.serial.empty() ? Format(L"6&%X&0", 0x2E1C0000u + port) : spec.serial) + L"&0";
        DeviceNode& disk = AddNode(node, diskId);
        disk.classGuid = kDiskClass;
        disk.SetProperty(CM_DRP_SERVICE, L"disk")
            .SetProperty(CM_DRP_DEVICEDESC, L"Disk drive")
            .SetProperty(CM_DRP_FRIENDLYNAME, spec.manufacturer + L" " + spec.product + L" USB Device")
            .SetProperty(CM_DRP_DRIVER, Format(L"{4d36e967-e325-11ce-bfc1-08002be10318}\\%04u", driverKeys_++));
        device.disk_ = &disk;
    }
    UsbPort& slot = hub.Port(port);
    slot.device = &device;
    slot.status = 1;
}

UsbHostController* Machine::FindControllerByPath(const std::wstring& path)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (auto& controller : controllers_) {
        if (controller->hcdIndex_ >= 0 && SameName(path, Format(L"\\\\.\\HCD%d", controller->hcdIndex_)))
            return controller.get();
        if (!controller->interfacePath_.empty() && SameName(path, controller->interfacePath_))
            return controller.get();
    }
    return nullptr;
}

UsbHub* Machine::FindHubByName(const std::wstring& name)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (auto& hub : hubs_)
        if (hub->present_ && SameName(hub->name_, name))
            return hub.get();
    return nullptr;
}

UsbDevice* Machine::FindUsbDeviceAbove(DeviceNode* node)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (; node; node = node->parent_)
        for (auto& device : devices_)
            if (device->node_ == node)
                return device.get();
    return nullptr;
}

Volume& Machine::AddVolume(DeviceNode* disk, wchar_t letter, UINT driveType)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!volumeManager_)
        volumeManager_ = &AddNode(Root(), L"ROOT\\VOLMGR\\0000");
    auto volume = std::make_unique<Volume>();
    unsigned number = static_cast<unsigned>(volumes_.size()) + 1;
    volume->guidPath = Format(L"\\\\?\\Volume{%08x-5eb0-11e6-a1b2-%012x}\\", 0x7d1a0000u + number, number);
    volume->deviceName = Format(L"\\Device\\HarddiskVolume%u", number);
    volume->driveType = driveType;
    if (letter)
        volume->letters.push_back(static_cast<wchar_t>(towupper(letter)));
    // Each volume has an instance id (and so an interface path) of its own. The first volume
    // of a disk is named after the disk's interface, as the volume of a one-partition removable
    // disk is; further partitions of a disk are named by the disk's signature and their
    // offset, as the partition manager names them.
    unsigned onDisk = 0;
    for (const auto& other : volumes_)
        if (disk && other->disk == disk)
            ++onDisk;
    std::wstring volumeId;
    if (disk && onDisk == 0)
        volumeId = L"STORAGE\\VOLUME\\_??_" + Hashed(disk->InstanceId()) + L"#" + kDiskInterfaceGuid;
    else if (disk)
        volumeId = Format(L"STORAGE\\VOLUME\\{%08x-5eb0-11e6-a1b2-806e6f6e6963}#00000000%08X", 0xd15c0000u + unsigned(disk->Handle()),
                          (onDisk + 1) * 0x100000u);
    else
        volumeId = Format(L"STORAGE\\VOLUME\\{7d1a0000-5eb0-11e6-a1b2-806e6f6e6963}#00000000%08X", number * 0x100000u);
    DeviceNode& node = AddNode(*volumeManager_, volumeId);
    node.classGuid = kVolumeClass;
    node.SetProperty(CM_DRP_DEVICEDESC, L"Generic volume").SetProperty(CM_DRP_SERVICE, L"volume");
    node.SetProperty(CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, volume->deviceName);
    volume->node = &node;
    volume->disk = disk;
    volume->interfacePath = L"\\\\?\\" + Hashed(volumeId) + L"#" + kVolumeInterfaceGuid;
    AddInterface(kVolumeInterface, node, volume->interfacePath);
    if (disk)
        disk->AddRemovalRelation(node);
    volumes_.push_back(std::move(volume));
    return *volumes_.back();
}

Volume& Machine::AddVolumeWithoutInterface(wchar_t letter, UINT driveType)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    Volume& volume = AddVolume(nullptr, letter, driveType);
    interfaces_.pop_back();
    volume.interfacePath.clear();
    return volume;
}

DeviceInterface& Machine::AddVolumeInterface(Volume& volume, DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::wstring path = L"\\\\?\\" + Hashed(node.InstanceId()) + L"#" + kVolumeInterfaceGuid;
    volume.moreInterfacePaths.push_back(path);
    return AddInterface(kVolumeInterface, node, path);
}

std::vector<Volume*> Machine::Volumes()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::vector<Volume*> present;
    for (auto& volume : volumes_)
        if (volume->present)
            present.push_back(volume.get());
    return present;
}

Volume* Machine::FindVolumeByLetter(wchar_t letter)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    letter = static_cast<wchar_t>(towupper(letter));
    for (Volume* volume : Volumes())
        for (wchar_t mounted : volume->letters)
            if (mounted == letter)
                return volume;
    return nullptr;
}

Volume* Machine::FindVolumeByMountPoint(const std::wstring& path)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (path.size() == 3 && path[1] == L':' && path[2] == L'\\')
        return FindVolumeByLetter(path[0]);
    for (Volume* volume : Volumes()) {
        if (SameName(path, volume->guidPath))
            return volume;
        for (const std::wstring& folder : volume->mountFolders)
            if (SameName(path, folder))
                return volume;
        if (!volume->interfacePath.empty() && SameName(path, volume->interfacePath + L"\\"))
            return volume;
        for (const std::wstring& more : volume->moreInterfacePaths)
            if (SameName(path, more + L"\\"))
                return volume;
    }
    return nullptr;
}

Volume* Machine::FindVolumeByDosName(const std::wstring& name)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (name.size() == 2 && name[1] == L':')
        return FindVolumeByLetter(name[0]);
    for (Volume* volume : Volumes())
        if (SameName(name, volume->DosName()))
            return volume;
    return nullptr;
}

bool Machine::LibraryRemoved(const std::wstring& name) const
{
    std::wstring key = Upper(name);
    auto slash = key.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        key = key.substr(slash + 1);
    if (key.find(L'.') == std::wstring::npos)
        key += L".DLL";
    return removedLibraries_.count(key) != 0;
}

LibraryFile& Machine::AddLibraryFile(std::wstring path)
{
    std::lock_guard<std::mutex> hold(librariesLock_);
    libraryFiles_.push_back(std::make_unique<LibraryFile>());
    libraryFiles_.back()->path = std::move(path);
    return *libraryFiles_.back();
}

void Machine::RemoveLibraryFile(LibraryFile& file)
{
    std::lock_guard<std::mutex> hold(librariesLock_);
    for (auto each = libraryFiles_.begin(); each != libraryFiles_.end(); ++each) {
        if (each->get() == &file) {
            libraryFiles_.erase(each);
            return;
        }
    }
}

LibraryFile* Machine::FindLibraryFile(const std::wstring& path)
{
    const std::wstring key = Upper(path);
    std::lock_guard<std::mutex> hold(librariesLock_);
    for (auto& file : libraryFiles_)
        if (Upper(file->path) == key)
            return file.get();
    return nullptr;
}

LibraryFile* Machine::FindLibraryFile(HMODULE handle)
{
    std::lock_guard<std::mutex> hold(librariesLock_);
    for (auto& file : libraryFiles_)
        if (reinterpret_cast<HMODULE>(file.get()) == handle)
            return file.get();
    return nullptr;
}

HANDLE Machine::OpenHandle(std::shared_ptr<OpenObject> object)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto handle = reinterpret_cast<HANDLE>(kFirstMachineHandle + 4 * ULONG_PTR(nextHandle_++));
    handles_.emplace_back(handle, std::move(object));
    return handle;
}

std::shared_ptr<OpenObject> Machine::FindHandle(HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (auto& entry : handles_)
        if (entry.first == handle)
            return entry.second;
    return nullptr;
}

bool Machine::CloseMachineHandle(HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (auto it = handles_.begin(); it != handles_.end(); ++it) {
        if (it->first == handle) {
            handles_.erase(it);
            return true;
        }
    }
    return false;
}

size_t Machine::OpenHandleCount()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return handles_.size();
}

}  // namespace testbed
