#pragma once
//
//  Helpers of the CSV tests: readable output of wide texts and entries built in one line.
//
#include "core/model/WhitelistEntry.h"

#include <ostream>
#include <string>

// gtest prints a CString through this: ASCII as it is, CR and LF escaped, the rest as \uXXXX.
inline void PrintTo(const CString& text, std::ostream* os)
{
    static const char hex[] = "0123456789ABCDEF";
    *os << '"';
    for (WCHAR ch : text.Text()) {
        if (ch == '\r') {
            *os << "\\r";
        } else if (ch == '\n') {
            *os << "\\n";
        } else if (ch >= 0x20 && ch < 0x7F) {
            *os << static_cast<char>(ch);
        } else {
            *os << "\\u" << hex[(ch >> 12) & 15] << hex[(ch >> 8) & 15] << hex[(ch >> 4) & 15] << hex[ch & 15];
        }
    }
    *os << '"';
}

namespace Quelmar {

inline WhitelistEntry CsvEntry(int attribute, int useVid, WORD vid, int usePid, WORD pid, int useSerial,
                               const WCHAR* serial, int useMaker, const WCHAR* maker, int useProduct,
                               const WCHAR* product)
{
    WhitelistEntry e;
    e.attribute = attribute;
    e.useVendorId = useVid;
    e.vendorId = vid;
    e.useProductId = usePid;
    e.productId = pid;
    e.useSerialNumber = useSerial;
    e.serialNumber = serial;
    e.useManufacturer = useMaker;
    e.manufacturer = maker;
    e.useProduct = useProduct;
    e.product = product;
    return e;
}

inline void PrintTo(const WhitelistEntry& e, std::ostream* os)
{
    *os << '{' << e.attribute << ' ' << e.useVendorId << ':' << e.vendorId << ' ' << e.useProductId << ':'
        << e.productId << ' ' << e.useSerialNumber << e.useManufacturer << e.useProduct << ' ';
    ::PrintTo(e.serialNumber + _T("|") + e.manufacturer + _T("|") + e.product, os);
    *os << '}';
}

inline bool operator==(const WhitelistEntry& a, const WhitelistEntry& b)
{
    return EqualWhitelistEntries(a, b) != 0;
}

}  // namespace Quelmar
