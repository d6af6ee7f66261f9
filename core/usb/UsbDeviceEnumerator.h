#pragma once
//
//  Lists the USB devices connected to the machine's hubs with their ids, strings and the
//  device nodes below them, and the drive letters of the volumes that belong to them.
//
#include "core/usb/UsbHubWalker.h"
#include "core/usb/UsbStorageDevice.h"
#include "core/volume/VolumeRecord.h"

#include <set>
#include <vector>

class UsbDeviceEnumerator : public UsbHubWalker {
public:
    // What the enumeration reads about each device (the info mask).
    enum : DWORD {
        INFO_VENDOR_ID = 0x001,
        INFO_PRODUCT_ID = 0x002,
        INFO_MANUFACTURER = 0x004,
        INFO_PRODUCT = 0x008,
        INFO_SERIAL = 0x010,                 // else taken from the instance id
        INFO_NODE_IDS = 0x020,
        INFO_NODE_OBJECT_NAMES = 0x040,
        INFO_NODE_FRIENDLY_NAMES = 0x080,
        INFO_NODE_DESCRIPTIONS = 0x100,
        INFO_VOLUMES = 0x200,                // instance ids and drive letters from the volume map
        INFO_ALL = 0x3FF,
    };
    enum : DWORD {
        OPTION_ONLY_WITH_DRIVE_LETTER = 0x1,
    };

    // Fills the caller's list on every Walk; the devices stay there after the enumerator goes.
    explicit UsbDeviceEnumerator(std::vector<UsbStorageDevice>& result);

    DWORD InfoMask() const { return infoMask_; }
    void SetInfoMask(DWORD mask) { infoMask_ = mask; }
    DWORD Options() const { return options_; }
    void SetOptions(DWORD options) { options_ = options; }
    BOOL DriveLettersOn() const { return driveLettersOn_; }

    void Walk() override;
    void OnDevice(HANDLE hub, ULONG port, const UsbConnectionInformation& information) override;
    // TRUE to keep the device.
    virtual BOOL Accept(const UsbStorageDevice& device);
    virtual void FillNodeTexts(DEVINST node, UsbDeviceNodeInfo& info);

    // Touches every drive of the device on the port, which wakes a device that sleeps through
    // its string requests. TRUE when it has a drive letter.
    BOOL FindDriveLetters(HANDLE hub, ULONG port);

protected:
    void AdjustOptions();
    void WalkVolumes();
    BOOL ReadStringDescriptors(HANDLE hub, ULONG port, const UsbConnectionInformation& information,
                               UsbStorageDevice& device);
    BOOL ResolveDriveLetters(HANDLE hub, ULONG port);
    void SerialFromInstanceId(HANDLE hub, ULONG port, UsbStorageDevice& device);
    void BuildNodeTree(DEVINST node, UsbStorageDevice& device);

private:
    // The device node of the device on a port, found through its driver key; 0 when none.
    DEVINST PortDevNode(HANDLE hub, ULONG port);
    void AddNode(DEVINST node, UsbDeviceTree::Node* treeNode, bool withSiblings, UsbStorageDevice& device);
    void AddRemovalRelations(UsbDeviceTree::Node* treeNode, UsbStorageDevice& device);

    std::vector<UsbStorageDevice>* result_;
    std::vector<VolumeRecord> volumes_;
    DWORD infoMask_ = INFO_ALL;
    DWORD options_ = 0;
    BOOL driveLettersOn_ = TRUE;
    // Nodes already in the tree being built: removal relations may lead back to them.
    std::set<DEVINST> treeNodes_;
};
