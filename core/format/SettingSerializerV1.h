#pragma once
//
//  Version 1 of the setting payload: the tag, then body 1 (control switch, whitelist, rule
//  for storage off the whitelist, portable-device and CD/DVD switches). Little-endian and
//  packed; strings are a 32-bit byte count and UTF-16 code units without terminator.
//
//  The serializers of the three versions form one line of descent, each adding its own Write
//  and Read to those of the version before, on the encrypted record file of Setting.dat;
//  formatTag is the record file's.
//
#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"
#include "core/format/SettingFormatTags.h"
#include "core/model/Setting.h"
#include "core/store/RecordFile.h"
#include "core/store/StoreConstants.h"

#include <vector>

namespace Quelmar {

class SettingSerializerV1 : public EncryptedRecordFile {
public:
    // The payload format alone, on no file and with no key.
    SettingSerializerV1() : SettingSerializerV1(SettingFormatTagV1) {}
    // The setting file at path, enciphered with key.
    SettingSerializerV1(const CString& path, const BYTE* key, DWORD keyLength)
        : SettingSerializerV1(SettingFormatTagV1, path, key, keyLength)
    {
    }
    ~SettingSerializerV1() override = default;

    // out becomes formatTag followed by body 1.
    virtual void Write(const SettingV1& setting, std::vector<BYTE>& out) const;
    // 1 when bytes hold exactly one version 1 record, else 0. The tag read is kept in
    // formatTag. Fields are stored as they are read, so after a failure the record is partly
    // filled; entries are appended to what the whitelist holds, so read into a fresh record.
    virtual BOOL Read(const std::vector<BYTE>& bytes, SettingV1& setting);

    // The tag that Write puts first, and the tag that Read found.
protected:
    explicit SettingSerializerV1(DWORD tag) : SettingSerializerV1(tag, CString(), nullptr, 0) {}
    SettingSerializerV1(DWORD tag, const CString& path, const BYTE* key, DWORD keyLength)
        : EncryptedRecordFile(StoreConstants::kSettingRecordName, path, key, keyLength)
    {
        formatTag = tag;
    }

    // Reads the tag into formatTag; true when it is the expected one.
    bool ReadTag(DataParser& in, DWORD expected);

    static void WriteBody1(DataSerializer& out, const SettingV1& setting);
    static bool ReadBody1(DataParser& in, SettingV1& setting);
};

}  // namespace Quelmar
