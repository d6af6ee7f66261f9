#pragma once
//
//  One install-setting record with a distinct value in every field, and its payload in format
//  0x10030000, written out by hand field by field from the documented layout (not by the
//  writer). A file exported on one PC is read on another: the bytes must never move.
//
#include "core/store/InstallSettingFile.h"

#include <vector>

namespace golden {

inline Quelmar::InstallSettingData DistinctRecord()
{
    Quelmar::InstallSettingData data;
    data.usbControlEnabled = 0x01;
    data.outsidePolicy = 0x02;
    data.blockPortableDevices = 0x03;
    data.blockCdWriting = 0x04;
    Quelmar::WhitelistEntry entry;
    entry.vendorId = 0x0781;
    entry.productId = 0x5567;
    entry.serialNumber = _T("SER1");
    entry.manufacturer = _T("MAN");
    entry.product = _T("PR");
    entry.useVendorId = 0x05;
    entry.useProductId = 0x06;
    entry.useSerialNumber = 0x07;
    entry.useManufacturer = 0x08;
    entry.useProduct = 0x09;
    entry.attribute = 0x0A;
    data.whitelist.push_back(entry);
    data.passwordSet = 0x0B;
    data.passwordDigest = {0xD0, 0xD1, 0xD2};
    data.keyDeviceSet = 0x0C;
    data.keyDevice.vendorId = 0x1122;
    data.keyDevice.productId = 0x3344;
    data.keyDevice.serialNumber = _T("K");
    data.unlockMode = 0x0D;
    data.settingTimeStamp = 0x0102030405060708LL;
    data.autoImport.importAtStart = 0x0E;
    data.autoImport.importPath = _T("C:\\I");
    data.exportTime.time = 0x1112131415161718LL;
    data.blockInternalSd = 1;
    return data;
}

inline std::vector<BYTE> DistinctPayload()
{
    return {
        0x00, 0x00, 0x03, 0x10,                          // format tag 0x10030000
        0x01, 0x00, 0x00, 0x00,                          // usbControlEnabled
        0x02, 0x00, 0x00, 0x00,                          // outsidePolicy
        0x03, 0x00, 0x00, 0x00,                          // blockPortableDevices
        0x04, 0x00, 0x00, 0x00,                          // blockCdWriting
        0x01, 0x00, 0x00, 0x00,                          // entry count
        0x81, 0x07,                                      //   vendorId
        0x67, 0x55,                                      //   productId
        0x08, 0x00, 0x00, 0x00, 'S', 0, 'E', 0, 'R', 0, '1', 0,  // serialNumber
        0x06, 0x00, 0x00, 0x00, 'M', 0, 'A', 0, 'N', 0,  //   manufacturer
        0x04, 0x00, 0x00, 0x00, 'P', 0, 'R', 0,          //   product
        0x05, 0x00, 0x00, 0x00,                          //   useVendorId
        0x06, 0x00, 0x00, 0x00,                          //   useProductId
        0x07, 0x00, 0x00, 0x00,                          //   useSerialNumber
        0x08, 0x00, 0x00, 0x00,                          //   useManufacturer
        0x09, 0x00, 0x00, 0x00,                          //   useProduct
        0x0A, 0x00, 0x00, 0x00,                          //   attribute
        0x0B, 0x00, 0x00, 0x00,                          // passwordSet
        0x03, 0x00, 0x00, 0x00, 0xD0, 0xD1, 0xD2,        // passwordDigest
        0x0C, 0x00, 0x00, 0x00,                          // keyDeviceSet
        0x22, 0x11,                                      // key device vendorId
        0x44, 0x33,                                      // key device productId
        0x02, 0x00, 0x00, 0x00, 'K', 0,                  // key device serialNumber
        0x0D, 0x00, 0x00, 0x00,                          // unlockMode
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // settingTimeStamp, low half first
        0x0E, 0x00, 0x00, 0x00,                          // importAtStart
        0x08, 0x00, 0x00, 0x00, 'C', 0, ':', 0, '\\', 0, 'I', 0,  // importPath
        0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,  // exportTime
        0x01, 0x00, 0x00, 0x00,                          // blockInternalSd
    };
}

}  // namespace golden
