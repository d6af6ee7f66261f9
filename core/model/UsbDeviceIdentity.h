#pragma once
//
//  The setting model: plain value records that the setting tool edits, the service evaluates
//  and the stored formats read and write. Like every product class they live in namespace
//  Quelmar; the storage framework they are stored through lives in namespace Data
//  (core/data/). Copies are deep; every record has a virtual destructor and nothing else
//  virtual except the matcher's Matches.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

namespace Quelmar {

// What a USB device tells about itself: its ids and its three string descriptors.
class UsbDeviceIdentity {
public:
    UsbDeviceIdentity() = default;
    UsbDeviceIdentity(const UsbDeviceIdentity&) = default;
    UsbDeviceIdentity& operator=(const UsbDeviceIdentity&) = default;
    UsbDeviceIdentity(UsbDeviceIdentity&&) = default;
    UsbDeviceIdentity& operator=(UsbDeviceIdentity&&) = default;
    virtual ~UsbDeviceIdentity() = default;

    WORD vendorId = 0;
    WORD productId = 0;
    CString manufacturer;
    CString product;
    CString serialNumber;
};

}  // namespace Quelmar
