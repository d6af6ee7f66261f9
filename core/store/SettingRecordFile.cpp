#include "core/store/SettingRecordFile.h"

#include <vector>

namespace Quelmar {

namespace {

template <typename File, typename Setting>
void LoadAs(File& file, Setting& setting)
{
    std::vector<BYTE> payload;
    if (file.Load(payload) != 1 || file.File::Read(payload, setting) != 1) {
        throw -1;
    }
}

}  // namespace

void LoadSettingRecord(SettingSerializerV1& file, SettingV1& setting)
{
    LoadAs(file, setting);
}

void LoadSettingRecord(SettingSerializerV2& file, SettingV2& setting)
{
    LoadAs(file, setting);
}

void LoadSettingRecord(SettingSerializerV3& file, SettingV3& setting)
{
    LoadAs(file, setting);
}

void SaveSettingRecord(SettingSerializerV3& file, const SettingV3& setting)
{
    std::vector<BYTE> payload;
    file.SettingSerializerV3::Write(setting, payload);
    file.Save(payload);
}

}  // namespace Quelmar
