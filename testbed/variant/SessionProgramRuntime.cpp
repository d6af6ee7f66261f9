#include "testbed/variant/SessionProgramRuntime.h"

#include "testbed/variant/MachineReports.h"
#include "testbed/variant/ProgramFiles.h"
#include "testbed/variant/TimeScale.h"

namespace testbed {
namespace variant {

scenario::Scenario WithoutDriver(scenario::Scenario scenario)
{
    scenario.driverPresent = false;
    return scenario;
}

std::unique_ptr<SessionProgramRuntime> SessionProgramRuntime::Start()
{
    const std::wstring stem = ProgramStem();
    const std::wstring log = stem + L".testbed.log";
    scenario::Scenario loaded;
    std::wstring path;
    std::string error;
    if (!LoadScenario(stem, loaded, path, error)) {
        AppendFile(log, error + "\r\n", false);
        return nullptr;
    }
    return std::unique_ptr<SessionProgramRuntime>(new SessionProgramRuntime(stem, loaded));
}

SessionProgramRuntime::SessionProgramRuntime(std::wstring stem, const scenario::Scenario& scenario)
    : stem_(std::move(stem)), pc_(WithoutDriver(scenario))
{
    SetTimeScale(scenario.timeScale);
}

SessionProgramRuntime::~SessionProgramRuntime()
{
    std::string text;
    for (const std::string& line : ShellLines(pc_, GetCurrentProcessId()))
        text += line + "\r\n";
    // One write, so that programs ending together do not mix their lines.
    if (!text.empty())
        AppendFile(stem_ + L".testbed-shell.txt", text, false);
}

}  // namespace variant
}  // namespace testbed
