#include "core/model/WhitelistEntryMatcher.h"

namespace Quelmar {

BOOL WhitelistEntryMatcher::Matches(const UsbDeviceIdentity& device) const
{
    if (entry_ == nullptr) {
        return FALSE;
    }
    const WhitelistEntry& e = *entry_;
    if (e.useProductId != 0 && e.productId != device.productId) {
        return FALSE;
    }
    if (e.useVendorId != 0 && e.vendorId != device.vendorId) {
        return FALSE;
    }
    if (e.useSerialNumber != 0 && e.serialNumber != device.serialNumber) {
        return FALSE;
    }
    if (e.useManufacturer != 0 && e.manufacturer != device.manufacturer) {
        return FALSE;
    }
    if (e.useProduct != 0 && e.product != device.product) {
        return FALSE;
    }
    return TRUE;
}

}  // namespace Quelmar
