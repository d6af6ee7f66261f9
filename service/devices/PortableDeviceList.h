#pragma once
//
//  The portable devices (class WPD) that the service keeps disabled while portable-device
//  blocking is on: one disabling pass over the present devices, the driver keys of the devices
//  this list disabled, and enabling them again.
//
#include "classlib/CString.h"

#include <windows.h>
#include <setupapi.h>

#include <vector>

namespace Quelmar {

extern const GUID kPortableDeviceClass;

class PortableDeviceList {
public:
    PortableDeviceList() = default;
    // Enables the devices this list disabled.
    virtual ~PortableDeviceList();
    PortableDeviceList(const PortableDeviceList&) = delete;
    PortableDeviceList& operator=(const PortableDeviceList&) = delete;

    // One disabling pass over the present portable devices. disableFailed: a device could not
    // be disabled; newDevice: a friendly name that the pass before did not see; newlyRecorded:
    // a driver key was added to the record.
    void DisableAll(BOOL& disableFailed, BOOL& newDevice, BOOL& newlyRecorded);
    // Enables the recorded devices that are disabled. The record keeps the driver keys of the
    // devices that could not be enabled, so that they are tried again; the others leave it.
    void EnableRecorded();

    // DIF_PROPERTYCHANGE (enable or disable, this configuration) on a device of the pass's set;
    // FALSE when no pass is under way or a call fails.
    BOOL ChangeState(BOOL enable, BOOL& rebootNeeded, SP_DEVINFO_DATA& deviceInfo);
    // A device registry property as text, cut at its first NUL; FALSE when it cannot be read.
    BOOL GetProperty(SP_DEVINFO_DATA& deviceInfo, DWORD property, CString& text);

    const std::vector<CString>& RecordedDriverKeys() const { return recorded_; }
    void SetRecordedDriverKeys(const std::vector<CString>& keys) { recorded_ = keys; }
    // Devices this list disabled whose driver key could not be read, by instance id: not in
    // the stored record, but enabled with the recorded ones.
    const std::vector<CString>& UnrecordedDevices() const { return unrecorded_; }
    const std::vector<CString>& KnownNames() const { return knownNames_; }
    const std::vector<CString>& NewNames() const { return newNames_; }

private:
    // Marks the set of the pass under way for the time it lives.
    class PassSet {
    public:
        PassSet(HDEVINFO& slot, HDEVINFO set) : slot_(slot) { slot_ = set; }
        ~PassSet() { slot_ = INVALID_HANDLE_VALUE; }
        PassSet(const PassSet&) = delete;
        PassSet& operator=(const PassSet&) = delete;

    private:
        HDEVINFO& slot_;
    };

    BOOL InstanceId(SP_DEVINFO_DATA& deviceInfo, CString& id);

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    std::vector<CString> recorded_;
    std::vector<CString> unrecorded_;
    std::vector<CString> knownNames_;
    std::vector<CString> newNames_;
};

}  // namespace Quelmar
