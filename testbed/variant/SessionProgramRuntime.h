#pragma once
//
//  The testbed half of a session program's test variant (the remounter, the receiver), alive
//  from the program's load to its exit: the simulated PC of the scenario beside the program,
//  without the filter driver and without the control pipe, which belong to the service's
//  variant on the same PC. What the program told the desktop and the shell (broadcasts,
//  change notifications) is appended to `<program>.testbed-shell.txt` when it exits, each line
//  with the process id, since the service may start the program several times.
//
#include "testbed/scenario/ScenarioPc.h"

#include <memory>
#include <string>

namespace testbed {
namespace variant {

class SessionProgramRuntime {
public:
    // Reads and builds the scenario; null when it cannot, with the reason in the log file
    // beside the program.
    static std::unique_ptr<SessionProgramRuntime> Start();
    ~SessionProgramRuntime();
    SessionProgramRuntime(const SessionProgramRuntime&) = delete;
    SessionProgramRuntime& operator=(const SessionProgramRuntime&) = delete;

private:
    SessionProgramRuntime(std::wstring stem, const scenario::Scenario& scenario);

    std::wstring stem_;
    ScenarioPc pc_;
};

// The scenario as a session program's variant builds it: the same PC, without the driver.
scenario::Scenario WithoutDriver(scenario::Scenario scenario);

}  // namespace variant
}  // namespace testbed
