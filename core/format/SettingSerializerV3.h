#pragma once
//
//  Version 3 of the setting payload, the one the setting file is written in: the tag, body 2,
//  then the internal SD card switch, which must be 0 or 1.
//
#include "core/format/SettingSerializerV2.h"

namespace Quelmar {

class SettingSerializerV3 : public SettingSerializerV2 {
public:
    SettingSerializerV3() : SettingSerializerV2(SettingFormatTagV3) {}
    SettingSerializerV3(const CString& path, const BYTE* key, DWORD keyLength)
        : SettingSerializerV2(SettingFormatTagV3, path, key, keyLength)
    {
    }
    ~SettingSerializerV3() override = default;

    using SettingSerializerV2::Read;
    using SettingSerializerV2::Write;

    // out becomes formatTag, body 2 and blockInternalSd.
    virtual void Write(const SettingV3& setting, std::vector<BYTE>& out) const;
    // 1 when bytes hold exactly one version 3 record with blockInternalSd 0 or 1, else 0; as
    // the version 1 Read.
    virtual BOOL Read(const std::vector<BYTE>& bytes, SettingV3& setting);
};

}  // namespace Quelmar
