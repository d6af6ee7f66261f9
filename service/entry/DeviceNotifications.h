#pragma once
//
//  The service's registrations for device notifications: one for every interface class, or on
//  Windows 2000 one per storage and USB interface class. Windows builds only.
//
#include <windows.h>

namespace Quelmar {

class DeviceNotifications {
public:
    DeviceNotifications() = default;
    ~DeviceNotifications() { Unregister(); }
    DeviceNotifications(const DeviceNotifications&) = delete;
    DeviceNotifications& operator=(const DeviceNotifications&) = delete;

    // TRUE when the first registration was made.
    BOOL Register(SERVICE_STATUS_HANDLE statusHandle);
    void Unregister();

    static const int SlotCount = 11;

private:
    HDEVNOTIFY slots_[SlotCount] = {};
};

}  // namespace Quelmar
