#include "core/format/SettingSerializerV1.h"

#include "core/format/WhitelistEntryLayout.h"

#include <utility>

namespace Quelmar {

void SettingSerializerV1::Write(const SettingV1& setting, std::vector<BYTE>& out) const
{
    DataSerializer s;
    s.WriteU32(formatTag);
    WriteBody1(s, setting);
    out = s.Bytes();
}

BOOL SettingSerializerV1::Read(const std::vector<BYTE>& bytes, SettingV1& setting)
{
    DataParser in(bytes);
    if (!ReadTag(in, SettingFormatTagV1) || !ReadBody1(in, setting)) {
        return FALSE;
    }
    return in.Left() == 0;
}

bool SettingSerializerV1::ReadTag(DataParser& in, DWORD expected)
{
    if (in.ReadU32(formatTag) != 0) {
        return false;
    }
    return formatTag == expected;
}

void SettingSerializerV1::WriteBody1(DataSerializer& out, const SettingV1& setting)
{
    out.WriteU32(static_cast<DWORD>(setting.usbControlEnabled));
    out.WriteU32(static_cast<DWORD>(setting.whitelist.size()));
    for (const WhitelistEntry& entry : setting.whitelist) {
        WriteWhitelistEntry(out, entry);
    }
    out.WriteU32(static_cast<DWORD>(setting.outsidePolicy));
    out.WriteU32(static_cast<DWORD>(setting.blockPortableDevices));
    out.WriteU32(static_cast<DWORD>(setting.blockCdWriting));
}

bool SettingSerializerV1::ReadBody1(DataParser& in, SettingV1& setting)
{
    int count = 0;
    if (in.ReadU32(setting.usbControlEnabled) != 0 || in.ReadU32(count) != 0) {
        return false;
    }
    // The count comes from the file: it is checked against the bytes that are really there
    // before a single entry is made, and the whitelist grows only by entries actually read.
    if (count > 0 && static_cast<DWORD>(count) > in.Left() / kSmallestWhitelistEntryBytes) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        WhitelistEntry e;
        if (!ReadWhitelistEntry(in, e)) {
            return false;
        }
        setting.whitelist.push_back(std::move(e));
    }
    return in.ReadU32(setting.outsidePolicy) == 0 &&
           in.ReadU32(setting.blockPortableDevices) == 0 &&
           in.ReadU32(setting.blockCdWriting) == 0;
}

}  // namespace Quelmar
