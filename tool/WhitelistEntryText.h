#pragma once
//
//  The one-line text that shows a whitelist entry in the lists and the wizard's summary.
//
#include "classlib/CString.h"
#include "core/model/WhitelistEntry.h"

// "USB", then for each part that the entry uses: the read-only label, " VID:0x%04X",
// " PID:0x%04X", and the serial number, manufacturer and product with their labels. Returns
// whether the text is non-empty (always, as it starts with "USB").
BOOL FormatWhitelistEntry(const Quelmar::WhitelistEntry& entry, CString& text);
