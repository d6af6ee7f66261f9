#pragma once
//
//  What the service's enforcement thread (QuelmarThread) knows about the machine (volumes,
//  USB storage devices, whitelist table, switches) and the decision per volume that it hands
//  to the driver. Every member is touched only on the enforcement thread.
//
#include "core/model/Setting.h"
#include "core/usb/UsbStorageDevice.h"
#include "core/volume/VolumeRecord.h"
#include "service/decision/VolumePolicyMap.h"

#include <set>
#include <vector>

namespace Quelmar {

class QuelmarDecision {
public:
    QuelmarDecision() = default;
    QuelmarDecision(const QuelmarDecision&) = delete;
    QuelmarDecision& operator=(const QuelmarDecision&) = delete;
    virtual ~QuelmarDecision() = default;

    // Takes the whitelist and the two switches of a new setting.
    void TakeSetting(const SettingV3& setting);

    // Expands the whitelist with twin entries into the whitelist table and derives the
    // enumeration mask from the fields the table's entries use.
    void BuildWhitelistTable(const Whitelist& whitelist);

    // Fills the map from the current lists: every volume with a device name and the device
    // objects beneath each volume. A later step overwrites an earlier one.
    void ComputeVolumePolicy(VolumePolicyMap& map) const;

    // Sends the map with the non-whitelist policy as the mode word when it differs from the
    // map the driver holds. TRUE when the driver took it; FALSE when it was equal or the driver
    // did not take it, in which case the next pass sends it again.
    BOOL SendPolicy(const VolumePolicyMap& map);

    // Takes over the table that an ended predecessor left with the driver, and the volumes it
    // was computed from, so that the first pass compares against what the driver holds.
    void TakeOverSentTable(QuelmarDecision& ended);

    // Refills the card-reader volume set: lettered volumes that are neither system volumes nor
    // on a USB storage device and report an SD bus, or are removable on any bus but USB.
    void ScanDrives();

    std::vector<VolumeRecord>& VolumeList() { return volumes_; }
    std::vector<UsbStorageDevice>& UsbDeviceList() { return usbDevices_; }
    std::vector<VolumeRecord>& SystemVolumeList() { return systemVolumes_; }
    std::set<CString>& CardReaderVolumes() { return cardReaderVolumes_; }
    const Whitelist& WhitelistTable() const { return whitelistTable_; }
    DWORD EnumerationMask() const { return enumerationMask_; }
    LONG NonWhitelistPolicy() const { return nonWhitelistPolicy_; }
    LONG SdCardState() const { return sdCardState_; }
    const VolumePolicyMap& SentMap() const { return sentMap_; }

private:
    bool IsCardReaderVolume(const CString& deviceName) const;

    // Makes Explorer and the file systems see the volumes whose state changed.
    void RemountChangedDrives(const VolumePolicyMap& sent, const VolumePolicyMap& previous);

    std::vector<VolumeRecord> volumes_;
    std::vector<UsbStorageDevice> usbDevices_;
    Whitelist whitelistTable_;
    LONG nonWhitelistPolicy_ = -1;
    LONG sdCardState_ = -1;
    DWORD enumerationMask_ = 0;
    std::vector<VolumeRecord> systemVolumes_;
    std::set<CString> cardReaderVolumes_;
    VolumePolicyMap sentMap_;
};

}  // namespace Quelmar
