#pragma once
//
//  What the simulated PC recorded, as the lines of the control pipe's replies and of the
//  session programs' shell record (formats in testbed/scenario/README.md).
//
#include "testbed/scenario/ScenarioPc.h"

#include <string>
#include <vector>

namespace testbed {
namespace variant {

// One line per CreateProcessAsUserW call in a session, in call order:
// SESSION <tab> DOMAIN\USER <tab> ERROR <tab> PROCESS-ID <tab> APPLICATION <tab> COMMAND-LINE <tab>
// INTEGRITY <tab> primary|impersonation.
std::vector<std::string> LaunchLines(ScenarioPc& pc);
// One line per class-installer call, node by node: LABEL CHANGE SCOPE ok|failed.
std::vector<std::string> ActionLines(ScenarioPc& pc);
// One line per portable device: NAME DRIVER-KEY enabled|disabled present|absent.
std::vector<std::string> PortableLines(ScenarioPc& pc);
// One line per broadcast and shell notification, each starting with the process id.
std::vector<std::string> ShellLines(ScenarioPc& pc, DWORD processId);

}  // namespace variant
}  // namespace testbed
