#pragma once
//
//  The setting record in its three versions. SettingV3 is the one the programs hold; SettingV1
//  and SettingV2 exist to read files written by earlier versions (core/format/).
//
#include "core/model/WhitelistEntry.h"

#include <vector>

namespace Quelmar {

typedef std::vector<WhitelistEntry> Whitelist;

// Rule for USB storage that matches no whitelist entry.
enum OutsidePolicy : int {
    OutsidePolicyUnset = -1,
    OutsidePolicyBlock = 1,
    OutsidePolicyReadOnly = 2,
};

class SettingV1 {
public:
    SettingV1() = default;
    SettingV1(const SettingV1&) = default;
    SettingV1& operator=(const SettingV1&) = default;
    SettingV1(SettingV1&&) = default;
    SettingV1& operator=(SettingV1&&) = default;
    virtual ~SettingV1() = default;

    int usbControlEnabled = 0;
    Whitelist whitelist;                    // in the administrator's order
    int outsidePolicy = OutsidePolicyUnset;
    int blockPortableDevices = 0;
    int blockCdWriting = 0;
};

// Import of an install-setting file when the setting tool starts.
class AutoImportSetting {
public:
    AutoImportSetting() = default;
    AutoImportSetting(const AutoImportSetting&) = default;
    AutoImportSetting& operator=(const AutoImportSetting&) = default;
    AutoImportSetting(AutoImportSetting&&) = default;
    AutoImportSetting& operator=(AutoImportSetting&&) = default;
    virtual ~AutoImportSetting() = default;

    int importAtStart = 0;
    CString importPath;
};

class SettingV2 : public SettingV1 {
public:
    SettingV2() = default;
    SettingV2(const SettingV2&) = default;
    SettingV2& operator=(const SettingV2&) = default;
    SettingV2(SettingV2&&) = default;
    SettingV2& operator=(SettingV2&&) = default;
    ~SettingV2() override = default;

    AutoImportSetting autoImport;
};

class SettingV3 : public SettingV2 {
public:
    SettingV3() = default;
    SettingV3(const SettingV3&) = default;
    SettingV3& operator=(const SettingV3&) = default;
    SettingV3(SettingV3&&) = default;
    SettingV3& operator=(SettingV3&&) = default;
    ~SettingV3() override = default;

    int blockInternalSd = -1;   // -1 until set
};

// 1 when the whitelists hold equal entries in the same order.
BOOL EqualWhitelists(const Whitelist& a, const Whitelist& b);

// 1 when the switches, the whitelists and the automatic import are equal. blockInternalSd is
// not compared: callers that care compare it themselves.
BOOL EqualSettings(const SettingV2& a, const SettingV2& b);

// Copies every field, blockInternalSd included.
void AssignSetting(SettingV3& dst, const SettingV3& src);

}  // namespace Quelmar
