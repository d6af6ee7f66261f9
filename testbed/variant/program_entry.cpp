//
//  The variant's hold on a program that is no service but is driven over the control pipe
//  itself (the ejector): the runtime is built while the program's static objects are, before
//  its entry runs, and taken down with them when it exits. A scenario that cannot be built
//  ends the process before the program's own code runs, with the reason in the log beside it.
//
#include "testbed/variant/VariantRuntime.h"

namespace testbed {
namespace variant {
namespace {

const UINT kScenarioFailedExitCode = 3;

class ProgramRuntime {
public:
    ProgramRuntime() : runtime_(VariantRuntime::Start())
    {
        if (!runtime_)
            ExitProcess(kScenarioFailedExitCode);
    }

private:
    std::unique_ptr<VariantRuntime> runtime_;
};

// The program's own static objects touch no simulated hardware when they are built, so the
// order of construction between them and this one does not matter.
ProgramRuntime g_runtime;

}  // namespace
}  // namespace variant
}  // namespace testbed
