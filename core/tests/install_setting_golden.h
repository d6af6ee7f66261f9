#pragma once
//
//  One install-setting record with a distinct value in every field, and its payload in format
//  0x10030000, written out by hand field by field from the documented layout (not by the
//  writer). A file exported on one PC is read on another: the bytes must never move.
//
#include "core/store/InstallSettingFile.h"

#include <vector>

namespace golden {

// Two entries, so that the count is not 1 and their order shows; the internal SD card
// switch is the only field that must be 0 or 1, and the only one that is 1.
inline Quelmar::InstallSettingData DistinctRecord()
{
    Quelmar::InstallSettingData data;
    data.usbControlEnabled = 0x10;
    data.outsidePolicy = 0x11;
    data.blockPortableDevices = 0x12;
    data.blockCdWriting = 0x13;
    Quelmar::WhitelistEntry first;
    first.vendorId = 0x0781;
    first.productId = 0x5567;
    first.serialNumber = _T("SER1");
    first.manufacturer = _T("MAN");
    first.product = _T("PR");
    first.useVendorId = 0x14;
    first.useProductId = 0x15;
    first.useSerialNumber = 0x16;
    first.useManufacturer = 0x17;
    first.useProduct = 0x18;
    first.attribute = 0x19;
    data.whitelist.push_back(first);
    Quelmar::WhitelistEntry second;
    second.vendorId = 0x0951;
    second.productId = 0x1666;
    second.serialNumber = _T("S2");
    second.manufacturer = _T("MK");
    second.product = _T("P");
    second.useVendorId = 0x1A;
    second.useProductId = 0x1B;
    second.useSerialNumber = 0x1C;
    second.useManufacturer = 0x1D;
    second.useProduct = 0x1E;
    second.attribute = 0x1F;
    data.whitelist.push_back(second);
    data.passwordSet = 0x20;
    data.passwordDigest = {0xD0, 0xD1, 0xD2};
    data.keyDeviceSet = 0x21;
    data.keyDevice.vendorId = 0x1122;
    data.keyDevice.productId = 0x3344;
    data.keyDevice.serialNumber = _T("K");
    data.unlockMode = 0x22;
    data.settingTimeStamp = 0x0102030405060708LL;
    data.autoImport.importAtStart = 0x23;
    data.autoImport.importPath = _T("C:\\I");
    data.exportTime.time = 0x1112131415161718LL;
    data.blockInternalSd = 1;
    return data;
}

inline std::vector<BYTE> DistinctPayload()
{
    return {
        0x00, 0x00, 0x03, 0x10,                          // format tag 0x10030000
        0x10, 0x00, 0x00, 0x00,                          // usbControlEnabled
        0x11, 0x00, 0x00, 0x00,                          // outsidePolicy
        0x12, 0x00, 0x00, 0x00,                          // blockPortableDevices
        0x13, 0x00, 0x00, 0x00,                          // blockCdWriting
        0x02, 0x00, 0x00, 0x00,                          // entry count
        0x81, 0x07,                                      // 1 vendorId
        0x67, 0x55,                                      //   productId
        0x08, 0x00, 0x00, 0x00, 'S', 0, 'E', 0, 'R', 0, '1', 0,  // serialNumber
        0x06, 0x00, 0x00, 0x00, 'M', 0, 'A', 0, 'N', 0,  //   manufacturer
        0x04, 0x00, 0x00, 0x00, 'P', 0, 'R', 0,          //   product
        0x14, 0x00, 0x00, 0x00,                          //   useVendorId
        0x15, 0x00, 0x00, 0x00,                          //   useProductId
        0x16, 0x00, 0x00, 0x00,                          //   useSerialNumber
        0x17, 0x00, 0x00, 0x00,                          //   useManufacturer
        0x18, 0x00, 0x00, 0x00,                          //   useProduct
        0x19, 0x00, 0x00, 0x00,                          //   attribute
        0x51, 0x09,                                      // 2 vendorId
        0x66, 0x16,                                      //   productId
        0x04, 0x00, 0x00, 0x00, 'S', 0, '2', 0,          //   serialNumber
        0x04, 0x00, 0x00, 0x00, 'M', 0, 'K', 0,          //   manufacturer
        0x02, 0x00, 0x00, 0x00, 'P', 0,                  //   product
        0x1A, 0x00, 0x00, 0x00,                          //   useVendorId
        0x1B, 0x00, 0x00, 0x00,                          //   useProductId
        0x1C, 0x00, 0x00, 0x00,                          //   useSerialNumber
        0x1D, 0x00, 0x00, 0x00,                          //   useManufacturer
        0x1E, 0x00, 0x00, 0x00,                          //   useProduct
        0x1F, 0x00, 0x00, 0x00,                          //   attribute
        0x20, 0x00, 0x00, 0x00,                          // passwordSet
        0x03, 0x00, 0x00, 0x00, 0xD0, 0xD1, 0xD2,        // passwordDigest
        0x21, 0x00, 0x00, 0x00,                          // keyDeviceSet
        0x22, 0x11,                                      // key device vendorId
        0x44, 0x33,                                      // key device productId
        0x02, 0x00, 0x00, 0x00, 'K', 0,                  // key device serialNumber
        0x22, 0x00, 0x00, 0x00,                          // unlockMode
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // settingTimeStamp, low half first
        0x23, 0x00, 0x00, 0x00,                          // importAtStart
        0x08, 0x00, 0x00, 0x00, 'C', 0, ':', 0, '\\', 0, 'I', 0,  // importPath
        0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,  // exportTime
        0x01, 0x00, 0x00, 0x00,                          // blockInternalSd
    };
}

}  // namespace golden
