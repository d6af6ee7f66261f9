#include "core/format/SettingSerializerV2.h"

namespace Quelmar {

void SettingSerializerV2::Write(const SettingV2& setting, std::vector<BYTE>& out) const
{
    DataSerializer s;
    s.WriteU32(formatTag);
    WriteBody2(s, setting);
    out = s.Bytes();
}

BOOL SettingSerializerV2::Read(const std::vector<BYTE>& bytes, SettingV2& setting)
{
    DataParser in(bytes);
    if (!ReadTag(in, SettingFormatTagV2) || !ReadBody2(in, setting)) {
        return FALSE;
    }
    return in.Left() == 0;
}

void SettingSerializerV2::WriteBody2(DataSerializer& out, const SettingV2& setting)
{
    WriteBody1(out, setting);
    out.WriteU32(static_cast<DWORD>(setting.autoImport.importAtStart));
    out.WriteString(setting.autoImport.importPath);
}

bool SettingSerializerV2::ReadBody2(DataParser& in, SettingV2& setting)
{
    return ReadBody1(in, setting) &&
           in.ReadU32(setting.autoImport.importAtStart) == 0 &&
           in.ReadString(setting.autoImport.importPath) == 0;
}

}  // namespace Quelmar
