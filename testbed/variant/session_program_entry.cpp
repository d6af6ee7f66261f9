//
//  The variant's hold on a session program: the runtime is built while the program's static
//  objects are, before its entry runs, and taken down with them when it exits. A program whose
//  PC cannot be built never runs its own code.
//
#include "testbed/variant/SessionProgramRuntime.h"

namespace testbed {
namespace variant {
namespace {

class SessionProgramHold {
public:
    SessionProgramHold() : runtime_(SessionProgramRuntime::Start())
    {
        if (!runtime_)
            ExitProcess(ERROR_BAD_CONFIGURATION);
    }

private:
    std::unique_ptr<SessionProgramRuntime> runtime_;
};

SessionProgramHold g_hold;

}  // namespace
}  // namespace variant
}  // namespace testbed
