#pragma once
//
//  The bytes of one whitelist entry, as the setting file and the install-setting file both
//  carry it: vendor ID and product ID (16 bits each), the serial number, manufacturer and
//  product strings, then the five use-flags and the access attribute (32 bits each). The
//  strings stand in the order serial, manufacturer, product while the flags stand in the
//  order vendor, product, serial, manufacturer, product.
//
#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"
#include "core/model/WhitelistEntry.h"

namespace Quelmar {

// An entry with three empty strings.
const DWORD kSmallestWhitelistEntryBytes = 2 + 2 + 3 * 4 + 6 * 4;

void WriteWhitelistEntry(DataSerializer& out, const WhitelistEntry& entry);

// Reads one entry into entry, field by field; false when the bytes run out, with entry
// partly filled. Callers append it to a whitelist only on success.
bool ReadWhitelistEntry(DataParser& in, WhitelistEntry& entry);

}  // namespace Quelmar
