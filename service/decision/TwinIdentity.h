#pragma once
//
//  Devices sold under two product ids that the whitelist treats as one device.
//
#include "core/model/UsbDeviceIdentity.h"

namespace Quelmar {

// False when the identity's vendor and product id form no twin pair; otherwise true, and the
// twin is a copy of the identity with the other product id of its pair.
bool GetTwinIdentity(const UsbDeviceIdentity& identity, UsbDeviceIdentity& twin);

}  // namespace Quelmar
