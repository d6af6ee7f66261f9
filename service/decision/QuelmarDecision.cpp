#include "service/decision/QuelmarDecision.h"

#include "core/model/WhitelistEntryMatcher.h"
#include "service/decision/TwinIdentity.h"
#include "service/volumes/VolumeOnDevice.h"
#include "service/volumes/VolumeRecordList.h"

namespace Quelmar {

namespace {

// The enumeration's info mask bits that the whitelist's fields need; node ids are always
// needed to match volumes to devices.
enum : DWORD {
    MaskVendorId = 0x01,
    MaskProductId = 0x02,
    MaskManufacturer = 0x04,
    MaskProduct = 0x08,
    MaskSerialNumber = 0x10,
    MaskNodeIds = 0x20,
};

bool ContainsEqualEntry(const Whitelist& whitelist, const WhitelistEntry& entry)
{
    for (const WhitelistEntry& existing : whitelist) {
        if (EqualWhitelistEntries(existing, entry)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void QuelmarDecision::TakeSetting(const SettingV3& setting)
{
    BuildWhitelistTable(setting.whitelist);
    nonWhitelistPolicy_ = setting.outsidePolicy;
    sdCardState_ = setting.blockInternalSd;
}

void QuelmarDecision::BuildWhitelistTable(const Whitelist& whitelist)
{
    Whitelist table;
    table.reserve(whitelist.size());
    bool twinAdded = false;
    for (const WhitelistEntry& entry : whitelist) {
        table.push_back(entry);
        UsbDeviceIdentity twinIdentity;
        if (!GetTwinIdentity(entry, twinIdentity)) {
            continue;
        }
        WhitelistEntry twin = entry;
        twin.productId = twinIdentity.productId;
        if (!ContainsEqualEntry(whitelist, twin)) {
            table.push_back(twin);
            twinAdded = true;
        }
    }
    whitelistTable_ = twinAdded ? std::move(table) : whitelist;

    DWORD mask = MaskNodeIds;
    for (const WhitelistEntry& entry : whitelistTable_) {
        if (entry.useVendorId != 0) {
            mask |= MaskVendorId;
        }
        if (entry.useProductId != 0) {
            mask |= MaskProductId;
        }
        if (entry.useSerialNumber != 0) {
            mask |= MaskSerialNumber;
        }
        if (entry.useManufacturer != 0) {
            mask |= MaskManufacturer;
        }
        if (entry.useProduct != 0) {
            mask |= MaskProduct;
        }
    }
    enumerationMask_ = mask;
}

bool QuelmarDecision::IsCardReaderVolume(const CString& deviceName) const
{
    for (const CString& name : cardReaderVolumes_) {
        if (name.CompareNoCase(deviceName) == 0) {
            return true;
        }
    }
    return false;
}

void QuelmarDecision::ComputeVolumePolicy(VolumePolicyMap& map) const
{
    map.clear();

    // The first record of each name (names compared without case) and the first device that
    // holds each record, worked out once for all steps.
    std::map<CString, size_t> recordByName;
    for (size_t i = 0; i < volumes_.size(); ++i) {
        CString key = volumes_[i].deviceName;
        recordByName.emplace(key.MakeLower(), i);
    }
    std::vector<DeviceVolumeMatcher> matchers;
    matchers.reserve(usbDevices_.size());
    for (const UsbStorageDevice& device : usbDevices_) {
        matchers.emplace_back(device);
    }
    std::vector<const UsbStorageDevice*> holders(volumes_.size(), nullptr);
    for (size_t i = 0; i < volumes_.size(); ++i) {
        CString idLower = volumes_[i].deviceInstanceId;
        idLower.MakeLower();
        for (size_t d = 0; d < matchers.size(); ++d) {
            if (matchers[d].Holds(volumes_[i], idLower)) {
                holders[i] = &usbDevices_[d];
                break;
            }
        }
    }
    auto recordOf = [&recordByName](const CString& name) -> long {
        CString key = name;
        auto found = recordByName.find(key.MakeLower());
        return found != recordByName.end() ? static_cast<long>(found->second) : -1;
    };

    for (const VolumeRecord& record : volumes_) {
        if (!record.deviceName.IsEmpty()) {
            map.emplace(record.deviceName, nonWhitelistPolicy_);
        }
    }

    if (!volumes_.empty()) {
        for (auto& [name, state] : map) {
            long record = recordOf(name);
            if (record >= 0 && holders[static_cast<size_t>(record)] == nullptr) {
                state = VolumeAllowed;
            }
        }
    }

    if (!volumes_.empty() && !usbDevices_.empty() && !whitelistTable_.empty()) {
        // The whitelist's verdict per stick, read once however many volumes the stick holds:
        // every matching entry writes its attribute, so the last one wins.
        std::vector<LONG> verdicts(usbDevices_.size(), 0);
        std::vector<bool> matched(usbDevices_.size(), false);
        std::vector<bool> judged(usbDevices_.size(), false);
        for (auto& [name, state] : map) {
            long record = recordOf(name);
            const UsbStorageDevice* device = record >= 0 ? holders[static_cast<size_t>(record)] : nullptr;
            if (device == nullptr) {
                continue;
            }
            const size_t index = static_cast<size_t>(device - usbDevices_.data());
            if (!judged[index]) {
                for (const WhitelistEntry& entry : whitelistTable_) {
                    if (WhitelistEntryMatcher(&entry).Matches(*device)) {
                        verdicts[index] = entry.attribute;
                        matched[index] = true;
                    }
                }
                judged[index] = true;
            }
            if (matched[index]) {
                state = verdicts[index];
            }
        }
    }

    if (!systemVolumes_.empty()) {
        for (auto& [name, state] : map) {
            if (IsSystemVolume(systemVolumes_, name)) {
                state = VolumeAllowed;
            }
        }
    }

    if (!cardReaderVolumes_.empty()) {
        for (auto& [name, state] : map) {
            if (IsCardReaderVolume(name)) {
                state = sdCardState_;
            }
        }
    }

    if (!volumes_.empty()) {
        // Names added here sort anywhere in the map; a std::map keeps the walk valid, and an
        // added name that is no volume has no children to hand on.
        for (auto it = map.begin(); it != map.end(); ++it) {
            long record = recordOf(it->first);
            if (record < 0) {
                continue;
            }
            for (const CString& child : volumes_[static_cast<size_t>(record)].childDeviceObjectNames) {
                map[child] = it->second;
            }
        }
    }
}

}  // namespace Quelmar
