#include "tool/csv/CsvWhitelistRow.h"

#include "core/store/ParseHexU16.h"

#include <utility>

namespace Quelmar {

namespace {

const int kRejectRow = -1;

[[noreturn]] void RejectRow()
{
    throw kRejectRow;
}

// "1" or TRUE is true, "0", FALSE or nothing is false, in any letter case; blanks are not
// trimmed, so " 1" is no boolean.
int ParseCsvBoolean(const CString& field)
{
    if (field == _T("1") || field.CompareNoCase(_T("TRUE")) == 0) {
        return 1;
    }
    if (field.IsEmpty() || field == _T("0") || field.CompareNoCase(_T("FALSE")) == 0) {
        return 0;
    }
    RejectRow();
}

// An empty field leaves the ID as it is (0). A minus sign is refused: the hexadecimal
// conversion would wrap "-1" to 0xFFFF and so let the row whitelist another device.
void ParseCsvHexId(const CString& field, WORD& id)
{
    if (field.IsEmpty()) {
        return;
    }
    CString digits = field;
    if (digits.GetLength() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.Mid(2);
    }
    if (digits.Find(static_cast<WCHAR>('-')) >= 0 || !ParseHexU16(digits, &id)) {
        RejectRow();
    }
}

// Reads the next column; every column but the last must be followed by another.
const CString& NextColumn(CsvWhitelistReader& reader, bool last = false)
{
    const int more = reader.ReadField();
    if (!more && !last) {
        RejectRow();
    }
    return reader.Field();
}

}  // namespace

void ParseCsvRow(CsvWhitelistReader& reader, Whitelist& entries)
{
    WhitelistEntry entry;
    reader.RewindFields();
    if (reader.Line().IsEmpty()) {
        RejectRow();
    }
    entry.attribute = ParseCsvBoolean(NextColumn(reader)) ? WhitelistReadOnly : WhitelistFullAccess;
    entry.useVendorId = ParseCsvBoolean(NextColumn(reader));
    ParseCsvHexId(NextColumn(reader), entry.vendorId);
    entry.useProductId = ParseCsvBoolean(NextColumn(reader));
    ParseCsvHexId(NextColumn(reader), entry.productId);
    entry.useSerialNumber = ParseCsvBoolean(NextColumn(reader));
    entry.serialNumber = NextColumn(reader);
    entry.useManufacturer = ParseCsvBoolean(NextColumn(reader));
    entry.manufacturer = NextColumn(reader);
    entry.useProduct = ParseCsvBoolean(NextColumn(reader));
    entry.product = NextColumn(reader, true);

    if (!entry.useVendorId && !entry.useProductId && !entry.useSerialNumber && !entry.useManufacturer &&
        !entry.useProduct) {
        RejectRow();
    }
    entries.push_back(std::move(entry));
}

void WriteCsvEntryRow(CsvWhitelistWriter& writer, const WhitelistEntry& entry)
{
    writer.AddFormattedField("%d", entry.attribute == WhitelistReadOnly ? 1 : 0);
    writer.AddFormattedField("%d", entry.useVendorId);
    writer.AddFormattedField("0x%04X", static_cast<unsigned>(entry.vendorId));
    writer.AddFormattedField("%d", entry.useProductId);
    writer.AddFormattedField("0x%04X", static_cast<unsigned>(entry.productId));
    writer.AddFormattedField("%d", entry.useSerialNumber);
    writer.AddField(entry.serialNumber);
    writer.AddFormattedField("%d", entry.useManufacturer);
    writer.AddField(entry.manufacturer);
    writer.AddFormattedField("%d", entry.useProduct);
    writer.AddField(entry.product);
    writer.EndRow();
}

}  // namespace Quelmar
