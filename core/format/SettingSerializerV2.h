#pragma once
//
//  Version 2 of the setting payload: the tag, body 1, then the automatic import of an
//  install-setting file (switch and path).
//
#include "core/format/SettingSerializerV1.h"

namespace Quelmar {

class SettingSerializerV2 : public SettingSerializerV1 {
public:
    SettingSerializerV2() : SettingSerializerV1(SettingFormatTagV2) {}
    SettingSerializerV2(const CString& path, const BYTE* key, DWORD keyLength)
        : SettingSerializerV1(SettingFormatTagV2, path, key, keyLength)
    {
    }
    ~SettingSerializerV2() override = default;

    using SettingSerializerV1::Read;
    using SettingSerializerV1::Write;

    // out becomes formatTag followed by body 2.
    virtual void Write(const SettingV2& setting, std::vector<BYTE>& out) const;
    // 1 when bytes hold exactly one version 2 record, else 0; as the version 1 Read.
    virtual BOOL Read(const std::vector<BYTE>& bytes, SettingV2& setting);

protected:
    explicit SettingSerializerV2(DWORD tag) : SettingSerializerV1(tag) {}
    SettingSerializerV2(DWORD tag, const CString& path, const BYTE* key, DWORD keyLength)
        : SettingSerializerV1(tag, path, key, keyLength)
    {
    }

    static void WriteBody2(DataSerializer& out, const SettingV2& setting);
    static bool ReadBody2(DataParser& in, SettingV2& setting);
};

}  // namespace Quelmar
