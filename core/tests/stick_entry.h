#pragma once
//
//  The whitelist entry most tests need: one stick named by vendor ID, product ID and serial
//  number, with the given attribute (full access or read-only).
//
#include "core/model/WhitelistEntry.h"

inline Quelmar::WhitelistEntry StickEntry(WORD vendorId, WORD productId, const WCHAR* serial, int attribute)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = vendorId;
    entry.productId = productId;
    entry.serialNumber = serial;
    entry.useVendorId = 1;
    entry.useProductId = 1;
    entry.useSerialNumber = 1;
    entry.attribute = attribute;
    return entry;
}
