#pragma once
//
//  One whitelist entry as one CSV row of eleven columns, without header:
//  read-only, use vendor ID, vendor ID, use product ID, product ID, use serial number,
//  serial number, use manufacturer, manufacturer, use product, product.
//
#include "core/model/Setting.h"
#include "tool/csv/CsvWhitelistReader.h"
#include "tool/csv/CsvWhitelistWriter.h"

namespace Quelmar {

// Parses the reader's current line and appends the entry to entries. A line that is empty,
// has fewer than eleven columns, holds a value its column cannot take or uses no field at all
// is rejected by throwing the integer -1; entries is then unchanged.
void ParseCsvRow(CsvWhitelistReader& reader, Whitelist& entries);

// Appends entry as one row, ended by the writer's row separator.
void WriteCsvEntryRow(CsvWhitelistWriter& writer, const WhitelistEntry& entry);

}  // namespace Quelmar
