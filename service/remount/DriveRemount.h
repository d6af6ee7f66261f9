#pragma once
//
//  Makes Explorer and the applications see a new per-volume table: after the driver took it,
//  the device nodes of the volumes whose state changed are restarted, the drive remounter
//  QEVRINrmt is started in the console session with their letters, or both, depending on
//  what the Windows version needs. Runs on the enforcement thread, which owns the maps and the
//  drive list, or after that thread ended unasked on the thread that releases its table.
//
#include "classlib/CString.h"
#include "core/volume/VolumeRecord.h"
#include "service/decision/VolumePolicyMap.h"

#include <vector>

namespace Quelmar {

// The drive letters handed to the remounter, without separators.
typedef CString RemountArgument;

// Restarts and/or starts the remounter as the running Windows version needs; before 6.0 the
// system picks up the change by itself.
void RemountChangedDrives(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                          const std::vector<VolumeRecord>& drives);

// Restarts the node of every changed volume whose new state does not block it: a blocked
// volume already fails every request at the driver. Nodes that cannot be found or restarted
// are skipped.
void RestartChangedDevices(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                           const std::vector<VolumeRecord>& drives);

// The letters of the volumes present in both maps with different states, in map order; TRUE
// when there is at least one.
BOOL BuildRemountArgument(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                          const std::vector<VolumeRecord>& drives, RemountArgument& argument);

// Starts QEVRINrmt.exe from the service's folder in the console session with the letters of
// the changed drives; nothing when no lettered drive changed.
void StartTessarin(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                   const std::vector<VolumeRecord>& drives);

// After the driver was given the empty table: every volume of the last table counts as
// changed to allowed.
void RemountAfterStop(const VolumePolicyMap& currentMap, const std::vector<VolumeRecord>& drives);

}  // namespace Quelmar
