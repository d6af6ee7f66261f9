#pragma once
//
//  The setting record in Setting.dat: the settings format of each version inside the
//  encrypted record file. Windows builds only.
//
#include "core/format/SettingSerializerV3.h"
#include "core/model/Setting.h"

namespace Quelmar {

// Load the file and read the payload as that version; a file that does not unwrap or a
// payload that is not exactly one record of the version throws -1, a file that cannot be
// opened throws CFileException.
void LoadSettingRecord(SettingSerializerV1& file, SettingV1& setting);
void LoadSettingRecord(SettingSerializerV2& file, SettingV2& setting);
void LoadSettingRecord(SettingSerializerV3& file, SettingV3& setting);

// Writes setting as version 3 with the file's formatTag and saves it. Throws CFileException.
void SaveSettingRecord(SettingSerializerV3& file, const SettingV3& setting);

}  // namespace Quelmar
