#pragma once
//
//  The tags that open each version of the setting payload. A reader accepts only its own
//  version's tag; the setting file is always written as version 3.
//
#include "classlib/WinTypes.h"

namespace Quelmar {

const DWORD SettingFormatTagV1 = 0x00040000;
const DWORD SettingFormatTagV2 = 0x10010000;
const DWORD SettingFormatTagV3 = 0x10020000;

}  // namespace Quelmar
