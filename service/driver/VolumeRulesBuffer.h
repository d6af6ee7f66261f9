#pragma once
//
//  The driver's rule-table buffer: mode word, entry count, then per entry the name's byte
//  length, the name in UTF-16LE without terminator and the state; little-endian and packed.
//
#include "service/decision/VolumePolicyMap.h"

#include <vector>

namespace Quelmar {

std::vector<BYTE> BuildVolumeRulesBuffer(LONG mode, const VolumePolicyMap& map);

}  // namespace Quelmar
