#pragma once
//
//  The service's per-volume table: NT device name to VolumeAccessState, ordered by plain
//  UTF-16 code units (CString's operator<), which is also the order the driver receives.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <map>

namespace Quelmar {

// What the driver does with a volume. The decision produces 0, 1 and 2 only.
enum VolumeAccessState : LONG {
    VolumeAllowed = 0,
    VolumeBlocked = 1,
    VolumeReadOnly = 2,
};

typedef std::map<CString, LONG> VolumePolicyMap;

}  // namespace Quelmar
