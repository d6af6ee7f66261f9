//
//  Parses fuzzed text as a whitelist CSV. Every line must end as one entry or one error text;
//  every accepted entry must be one the format can hold; and writing the accepted entries and
//  reading them back must give exactly those entries, with no error.
//
//  The first byte chooses how the rest becomes text: even, one code unit per byte (the shape of
//  a decoded single-byte file, easy to mutate); odd, UTF-16LE pairs (any code unit).
//
#include "tool/csv/CsvWhitelistText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Quelmar;

namespace {

void CountStep(LPVOID argument)
{
    ++*static_cast<size_t*>(argument);
}

CString TextOf(const uint8_t* data, size_t size)
{
    CString::Buffer units;
    if (data[0] % 2 == 0) {
        for (size_t i = 1; i < size; ++i) {
            units += static_cast<WCHAR>(data[i]);
        }
    } else {
        for (size_t i = 1; i + 1 < size; i += 2) {
            units += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
        }
    }
    return CString(units.c_str(), units.size());
}

void Require(bool condition)
{
    if (!condition) {
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const size_t breaks = CountCsvLineBreaks(data + 1, size - 1);
    Require(breaks <= size - 1);

    size_t steps = 0;
    CsvFileJob job;
    job.progress = CountStep;
    job.argument = &steps;
    Whitelist entries;
    CsvErrorList errors;
    ParseWhitelistCsvText(errors, job, TextOf(data, size), entries);
    Require(entries.size() + errors.size() == steps);

    for (const WhitelistEntry& e : entries) {
        Require(e.attribute == WhitelistFullAccess || e.attribute == WhitelistReadOnly);
        for (int flag : {e.useVendorId, e.useProductId, e.useSerialNumber, e.useManufacturer, e.useProduct}) {
            Require(flag == 0 || flag == 1);
        }
        Require(e.useVendorId || e.useProductId || e.useSerialNumber || e.useManufacturer || e.useProduct);
    }

    Whitelist again;
    CsvErrorList againErrors;
    ParseWhitelistCsvText(againErrors, CsvFileJob(), BuildWhitelistCsvDocument(CsvFileJob(), entries), again);
    Require(againErrors.empty());
    Require(again.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        Require(EqualWhitelistEntries(again[i], entries[i]) != 0);
    }
    return 0;
}
