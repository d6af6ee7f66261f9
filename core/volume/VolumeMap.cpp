#include "core/volume/VolumeMap.h"

#include "classlib/ScopedDevInfoList.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <vector>

namespace {

// GUID_DEVINTERFACE_VOLUME, spelled out so that no object needs INITGUID.
const GUID kVolumeInterfaceClass = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

const DWORD kNameChars = MAX_PATH;
const DWORD kDeviceNameStep = 512;
// An NT name is counted in 16 bits of bytes; a reply that needs more room is not a name.
const size_t kLongestDeviceName = 32768;
const ULONG kPropertyBytes = 400;

// Owns a volume search of FindFirstVolumeW.
class VolumeSearch {
public:
    explicit VolumeSearch(HANDLE search) : search_(search) {}
    ~VolumeSearch()
    {
        if (search_ != INVALID_HANDLE_VALUE)
            FindVolumeClose(search_);
    }
    VolumeSearch(const VolumeSearch&) = delete;
    VolumeSearch& operator=(const VolumeSearch&) = delete;
    HANDLE Get() const { return search_; }

private:
    HANDLE search_;
};

}  // namespace

DWORD GetVolumeDeviceName(const CString& volumeName, CString& deviceName)
{
    // "\\?\Volume{GUID}\" -> "Volume{GUID}": the DOS device name of the volume.
    if (volumeName.GetLength() < 6 || volumeName[volumeName.GetLength() - 1] != L'\\')
        return ERROR_INVALID_NAME;
    CString dosName = volumeName.Mid(4, volumeName.GetLength() - 5);

    std::vector<WCHAR> buffer(kDeviceNameStep);
    for (;;) {
        DWORD stored = QueryDosDeviceW(dosName, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (stored != 0)
            break;
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLongestDeviceName)
            return error;
        buffer.resize(buffer.size() + kDeviceNameStep);
    }
    // The reply is a list; only its first name is the volume's device.
    buffer.back() = 0;
    deviceName = CString(buffer.data());
    return 0;
}

BOOL VolumeMap::Build()
{
    records_->clear();
    WalkVolumes();
    if (flags_ & VOLUME_MAP_DEVICE_NAMES)
        ResolveDeviceNames();
    if (flags_ & VOLUME_MAP_DRIVE_LETTERS)
        ResolveDriveLetters();
    if (flags_ & (VOLUME_MAP_INTERFACE_PATHS | VOLUME_MAP_DEVICE_IDS | VOLUME_MAP_CHILD_DEVICE_NAMES | VOLUME_MAP_DEVNODES))
        WalkVolumeInterfaces();
    return records_->empty() ? FALSE : TRUE;
}

void VolumeMap::WalkVolumes()
{
    WCHAR name[kNameChars] = {};
    VolumeSearch search(FindFirstVolumeW(name, kNameChars));
    if (search.Get() == INVALID_HANDLE_VALUE)
        return;
    do {
        VolumeRecord record;
        record.volumeName = CString(name, kNameChars);
        records_->push_back(record);
    } while (FindNextVolumeW(search.Get(), name, kNameChars));
}

void VolumeMap::ResolveDeviceNames()
{
    for (VolumeRecord& record : *records_)
        GetVolumeDeviceName(record.volumeName, record.deviceName);
}

void VolumeMap::ResolveDriveLetters()
{
    for (WCHAR letter = L'A'; letter <= L'Z'; ++letter) {
        WCHAR mountPoint[] = {letter, L':', L'\\', 0};
        WCHAR name[kNameChars] = {};
        if (!GetVolumeNameForVolumeMountPointW(mountPoint, name, kNameChars))
            continue;
        // A later letter of the same volume overwrites an earlier one.
        if (VolumeRecord* record = FindRecord(name))
            record->driveLetter = letter;
    }
}

VolumeRecord* VolumeMap::FindRecord(const WCHAR* volumeName)
{
    for (VolumeRecord& record : *records_)
        if (record.volumeName.CompareNoCase(volumeName) == 0)
            return &record;
    return nullptr;
}

void VolumeMap::WalkVolumeInterfaces()
{
    ScopedDevInfoList set(SetupDiGetClassDevsW(&kVolumeInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsValid())
        return;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &kVolumeInterfaceClass, index, &data); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<BYTE> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        // The record's own size, not the buffer's: 6 on x86, 8 on x64.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, detail, required, nullptr, &device) != TRUE)
            continue;

        size_t pathChars = (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
        CString interfacePath(detail->DevicePath, pathChars);
        interfacePath += L'\\';
        WCHAR name[kNameChars] = {};
        if (!GetVolumeNameForVolumeMountPointW(interfacePath, name, kNameChars))
            continue;
        VolumeRecord* record = FindRecord(name);
        if (!record)
            continue;
        if (flags_ & VOLUME_MAP_DEVNODES)
            record->devNode = device.DevInst;
        if (flags_ & VOLUME_MAP_INTERFACE_PATHS)
            record->interfacePath = interfacePath;
        if (flags_ & VOLUME_MAP_DEVICE_IDS) {
            WCHAR id[200] = {};
            if (CM_Get_Device_IDW(device.DevInst, id, 200, 0) == CR_SUCCESS)
                record->deviceInstanceId = CString(id, 200);
        }
        if (flags_ & VOLUME_MAP_CHILD_DEVICE_NAMES) {
            DEVINST child = 0;
            if (CM_Get_Child(&child, device.DevInst, 0) == CR_SUCCESS && child != 0)
                CollectChildNames(child, *record);
        }
    }
}

// Appends the device-object names of a node, its children and its later siblings: each node
// before its own children, its children before its later siblings.
void VolumeMap::CollectChildNames(DWORD node, VolumeRecord& record)
{
    while (node != 0) {
        WCHAR name[kPropertyBytes / sizeof(WCHAR)] = {};
        ULONG length = sizeof name;
        if (CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr, name, &length, 0) == CR_SUCCESS)
            record.childDeviceObjectNames.push_back(CString(name, sizeof name / sizeof name[0]));
        DEVINST child = 0;
        if (CM_Get_Child(&child, node, 0) == CR_SUCCESS && child != 0)
            CollectChildNames(child, record);
        DEVINST sibling = 0;
        if (CM_Get_Sibling(&sibling, node, 0) != CR_SUCCESS)
            break;
        node = sibling;
    }
}
