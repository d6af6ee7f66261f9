#include "service/devices/PortableDeviceList.h"

#include "classlib/ScopedDevInfoList.h"
#include "service/devices/DeviceInstaller.h"

#include <cfgmgr32.h>

#include <algorithm>

namespace Quelmar {

const GUID kPortableDeviceClass = {0xeec5ad98, 0x8080, 0x425f, {0x92, 0x2a, 0xda, 0xbf, 0x3d, 0xe3, 0xf6, 0x9a}};

namespace {

// Registry properties and instance ids are short texts; a device that claims more is not
// believed.
const DWORD kLongestPropertyBytes = 64 * 1024;

bool Contains(const std::vector<CString>& list, const CString& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

// Disabled by its configuration, or not there at all (its status cannot be read).
bool DisabledOrAbsent(DEVINST node)
{
    ULONG status = 0;
    ULONG problem = 0;
    if (CM_Get_DevNode_Status(&status, &problem, node, 0) != CR_SUCCESS)
        return true;
    return (status & DN_HAS_PROBLEM) && problem == CM_PROB_DISABLED;
}

}  // namespace

PortableDeviceList::~PortableDeviceList()
{
    EnableRecorded();
}

BOOL PortableDeviceList::GetProperty(SP_DEVINFO_DATA& deviceInfo, DWORD property, CString& text)
{
    text.Empty();
    if (set_ == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD type = 0;
    DWORD required = 0;
    SetupDiGetDeviceRegistryPropertyW(set_, &deviceInfo, property, &type, nullptr, 0, &required);
    if (required == 0 || required > kLongestPropertyBytes)
        return FALSE;
    // Room for twice the bytes asked, so that a value that grows in between still fits.
    std::vector<WCHAR> buffer(required, 0);
    if (!SetupDiGetDeviceRegistryPropertyW(set_, &deviceInfo, property, &type, reinterpret_cast<PBYTE>(buffer.data()),
                                           DWORD(buffer.size() * sizeof(WCHAR)), &required))
        return FALSE;
    text = CString(buffer.data(), buffer.size());
    return TRUE;
}

BOOL PortableDeviceList::InstanceId(SP_DEVINFO_DATA& deviceInfo, CString& id)
{
    id.Empty();
    DWORD required = 0;
    SetupDiGetDeviceInstanceIdW(set_, &deviceInfo, nullptr, 0, &required);
    if (required == 0 || required > kLongestPropertyBytes / sizeof(WCHAR))
        return FALSE;
    std::vector<WCHAR> buffer(required, 0);
    if (!SetupDiGetDeviceInstanceIdW(set_, &deviceInfo, buffer.data(), DWORD(buffer.size()), &required))
        return FALSE;
    id = CString(buffer.data(), buffer.size());
    return !id.IsEmpty();
}

BOOL PortableDeviceList::ChangeState(BOOL enable, BOOL& rebootNeeded, SP_DEVINFO_DATA& deviceInfo)
{
    if (set_ == INVALID_HANDLE_VALUE)
        return FALSE;
    return CallPropertyChange(set_, deviceInfo, enable ? DICS_ENABLE : DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, rebootNeeded);
}

void PortableDeviceList::DisableAll(BOOL& disableFailed, BOOL& newDevice, BOOL& newlyRecorded)
{
    disableFailed = FALSE;
    newDevice = FALSE;
    newlyRecorded = FALSE;
    newNames_.clear();
    if (set_ != INVALID_HANDLE_VALUE)
        return;
    ScopedDevInfoList set(SetupDiGetClassDevsW(&kPortableDeviceClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.IsValid())
        return;
    PassSet pass(set_, set.Get());

    std::vector<CString> seen;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set_, index, &device); ++index) {
        CString name;
        GetProperty(device, SPDRP_FRIENDLYNAME, name);
        if (!Contains(knownNames_, name)) {
            newDevice = TRUE;
            if (!Contains(newNames_, name))
                newNames_.push_back(name);
        }
        seen.push_back(name);

        ULONG status = 0;
        ULONG problem = 0;
        if (CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) != CR_SUCCESS)
            continue;
        // A device the user disabled himself is his: neither touched nor recorded.
        if ((status & DN_HAS_PROBLEM) && problem == CM_PROB_DISABLED)
            continue;
        BOOL rebootNeeded = FALSE;
        if (!ChangeState(FALSE, rebootNeeded, device)) {
            disableFailed = TRUE;
            continue;
        }
        CString driverKey;
        if (GetProperty(device, SPDRP_DRIVER, driverKey) && !driverKey.IsEmpty()) {
            if (!Contains(recorded_, driverKey)) {
                recorded_.push_back(driverKey);
                newlyRecorded = TRUE;
            }
        } else {
            // Without a driver key the device cannot go into the stored record; it is still
            // ours to enable again, so it is remembered by its instance id.
            CString id;
            if (InstanceId(device, id) && !Contains(unrecorded_, id))
                unrecorded_.push_back(id);
        }
    }
    knownNames_ = seen;
}

void PortableDeviceList::EnableRecorded()
{
    if (set_ != INVALID_HANDLE_VALUE || (recorded_.empty() && unrecorded_.empty()))
        return;
    // Flags 0: devices that are not connected now are in the set too, so that their
    // configuration is enabled for when they come back.
    ScopedDevInfoList set(SetupDiGetClassDevsW(&kPortableDeviceClass, nullptr, nullptr, 0));
    if (!set.IsValid())
        return;
    PassSet pass(set_, set.Get());

    std::vector<CString> failedKeys;
    std::vector<CString> failedIds;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set_, index, &device); ++index) {
        CString driverKey;
        CString id;
        bool recorded = GetProperty(device, SPDRP_DRIVER, driverKey) && Contains(recorded_, driverKey);
        bool remembered = !recorded && !unrecorded_.empty() && InstanceId(device, id) && Contains(unrecorded_, id);
        if (!recorded && !remembered)
            continue;
        if (!DisabledOrAbsent(device.DevInst))
            continue;
        BOOL rebootNeeded = FALSE;
        if (ChangeState(TRUE, rebootNeeded, device))
            continue;
        if (recorded)
            failedKeys.push_back(driverKey);
        else
            failedIds.push_back(id);
    }
    // Devices that are gone altogether leave the record; those that refused stay in it, in
    // the order they were recorded.
    std::vector<CString> keep;
    for (const CString& key : recorded_)
        if (Contains(failedKeys, key))
            keep.push_back(key);
    recorded_ = keep;
    unrecorded_ = failedIds;
}

}  // namespace Quelmar
