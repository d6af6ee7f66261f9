#include "core/model/WhitelistEntry.h"

namespace Quelmar {

BOOL EqualWhitelistEntries(const WhitelistEntry& a, const WhitelistEntry& b)
{
    return a.vendorId == b.vendorId &&
           a.productId == b.productId &&
           a.manufacturer == b.manufacturer &&
           a.product == b.product &&
           a.serialNumber == b.serialNumber &&
           a.useVendorId == b.useVendorId &&
           a.useProductId == b.useProductId &&
           a.useSerialNumber == b.useSerialNumber &&
           a.useManufacturer == b.useManufacturer &&
           a.useProduct == b.useProduct &&
           a.attribute == b.attribute;
}

}  // namespace Quelmar
