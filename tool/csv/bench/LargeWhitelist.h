#pragma once
//
//  The whitelist that the tool's timing harnesses work on: as many entries as asked, each with
//  its own product id and serial, a Japanese maker (with a comma, so quoted in CSV) named on
//  every fifth, and a Japanese product with a doubled quote.
//
#include "core/model/Setting.h"

#include <string>

inline Quelmar::Whitelist LargeWhitelist(int count)
{
    Quelmar::Whitelist list;
    for (int i = 0; i < count; ++i) {
        Quelmar::WhitelistEntry e;
        e.attribute = i % 3 == 0 ? 2 : 0;
        e.useVendorId = 1;
        e.vendorId = static_cast<WORD>(0x0781 + i % 7);
        e.useProductId = 1;
        e.productId = static_cast<WORD>(i);
        e.useSerialNumber = 1;
        e.serialNumber = CString(L"4C53000123") + CString(std::to_wstring(i).c_str());
        e.useManufacturer = i % 5 == 0 ? 1 : 0;
        e.manufacturer = L"\u30D0\u30C3\u30D5\u30A1\u30ED\u30FC, Inc.";
        e.product = L"USB \u30E1\u30E2\u30EA \"\u9AD8\u901F\"";
        list.push_back(e);
    }
    return list;
}
