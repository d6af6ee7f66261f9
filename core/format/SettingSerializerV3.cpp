#include "core/format/SettingSerializerV3.h"

namespace Quelmar {

void SettingSerializerV3::Write(const SettingV3& setting, std::vector<BYTE>& out) const
{
    DataSerializer s;
    s.WriteU32(formatTag);
    WriteBody2(s, setting);
    s.WriteU32(static_cast<DWORD>(setting.blockInternalSd));
    out = s.Bytes();
}

BOOL SettingSerializerV3::Read(const std::vector<BYTE>& bytes, SettingV3& setting)
{
    DataParser in(bytes);
    if (!ReadTag(in, SettingFormatTagV3) || !ReadBody2(in, setting)) {
        return FALSE;
    }
    int blockInternalSd = 0;
    if (in.ReadU32(blockInternalSd) != 0 || (blockInternalSd != 0 && blockInternalSd != 1)) {
        return FALSE;
    }
    setting.blockInternalSd = blockInternalSd;
    return in.Left() == 0;
}

}  // namespace Quelmar
