#pragma once
//
//  Turns a setting read from an older file into the current record: the defaults first, then
//  the fields the older version knew. What it did not know keeps its default (no automatic
//  import, internal SD card reader not blocked).
//
#include "core/model/Setting.h"

namespace Quelmar {

void ConvertSettingV2ToV3(const SettingV2& older, SettingV3& current);
void ConvertSettingV1ToV3(const SettingV1& older, SettingV3& current);

}  // namespace Quelmar
