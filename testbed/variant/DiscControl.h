#pragma once
//
//  The variant's answers to the disc requests of the control pipe, on the recorders of the
//  scenario's PC. A media arrival reaches the program as the system's broadcast would: a
//  WM_DEVICECHANGE sent to each of the program's top-level windows, with a volume record.
//
#include "testbed/scenario/ScenarioPc.h"
#include "testbed/variant/DiscRequest.h"

#include <string>

namespace testbed {
namespace variant {

// "ok ..." or "error ...". The caller serialises the requests.
std::string HandleDiscRequest(ScenarioPc& pc, const DiscRequest& request);

}  // namespace variant
}  // namespace testbed
