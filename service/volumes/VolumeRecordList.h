#pragma once
//
//  The operations on volume records that the service's decision rests on: record equality,
//  lists without duplicates and the system-volume test.
//
#include "core/volume/VolumeRecord.h"

#include <vector>

namespace Quelmar {

// Every field equal, strings exactly (with case), child names element by element.
bool VolumeRecordEquals(const VolumeRecord& a, const VolumeRecord& b);

// Appends a copy of the record unless an equal record is in the list already.
void AddVolumeRecordOnce(std::vector<VolumeRecord>& list, const VolumeRecord& record);

// True when the device name equals, without regard to case, the device name of a record of
// the system volume list. An empty name is never a system volume.
bool IsSystemVolume(const std::vector<VolumeRecord>& systemVolumes, const CString& deviceName);

}  // namespace Quelmar
