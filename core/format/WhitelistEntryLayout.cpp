#include "core/format/WhitelistEntryLayout.h"

namespace Quelmar {

void WriteWhitelistEntry(DataSerializer& out, const WhitelistEntry& entry)
{
    out.WriteU16(entry.vendorId);
    out.WriteU16(entry.productId);
    out.WriteString(entry.serialNumber);
    out.WriteString(entry.manufacturer);
    out.WriteString(entry.product);
    out.WriteU32(static_cast<DWORD>(entry.useVendorId));
    out.WriteU32(static_cast<DWORD>(entry.useProductId));
    out.WriteU32(static_cast<DWORD>(entry.useSerialNumber));
    out.WriteU32(static_cast<DWORD>(entry.useManufacturer));
    out.WriteU32(static_cast<DWORD>(entry.useProduct));
    out.WriteU32(static_cast<DWORD>(entry.attribute));
}

bool ReadWhitelistEntry(DataParser& in, WhitelistEntry& entry)
{
    return in.ReadU16(entry.vendorId) == 0 &&
           in.ReadU16(entry.productId) == 0 &&
           in.ReadString(entry.serialNumber) == 0 &&
           in.ReadString(entry.manufacturer) == 0 &&
           in.ReadString(entry.product) == 0 &&
           in.ReadU32(entry.useVendorId) == 0 &&
           in.ReadU32(entry.useProductId) == 0 &&
           in.ReadU32(entry.useSerialNumber) == 0 &&
           in.ReadU32(entry.useManufacturer) == 0 &&
           in.ReadU32(entry.useProduct) == 0 &&
           in.ReadU32(entry.attribute) == 0;
}

}  // namespace Quelmar
