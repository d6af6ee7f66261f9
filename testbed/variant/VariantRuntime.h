#pragma once
//
//  The testbed half of a program's test variant, alive from the program's entry (its call of
//  the service control dispatcher) to its end: the simulated PC of the scenario beside the
//  program, the filter driver on the kernel stand-in, the bridge of the driver's volume event
//  and the testbed control pipe.
//
#include "testbed/scenario/ScenarioPc.h"
#include "testbed/variant/ControlRequest.h"
#include "testbed/variant/ControlServer.h"
#include "testbed/variant/ServiceEvents.h"
#include "testbed/variant/VolumeEventBridge.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace testbed {
namespace variant {

class VariantRuntime {
public:
    // Reads and builds the scenario; null when it cannot, with the reason in the log file
    // beside the program.
    static std::unique_ptr<VariantRuntime> Start();
    ~VariantRuntime();
    VariantRuntime(const VariantRuntime&) = delete;
    VariantRuntime& operator=(const VariantRuntime&) = delete;

    // The running variant, or null.
    static VariantRuntime* Current();

    // One control-pipe request, answered.
    std::string Handle(const std::string& request);
    // The event that a reserved user control stands for; false for one without an event.
    bool Translate(DWORD control, TranslatedControl& translated);
    // The driver's table and the exit code, written beside the program when it reports itself
    // stopped, since the process may end right after.
    void ReportStopped(const SERVICE_STATUS& status);
    void Log(const std::string& line);
    // True while the scenario's refusals of the program's own service access list last; each
    // call uses one.
    bool RefuseServiceSecurity();
    // True for the try of that list that the scenario makes run out of memory; each call counts
    // one try.
    bool ServiceSecurityRunsOutOfMemory();

private:
    VariantRuntime(std::wstring stem, const scenario::Scenario& scenario);
    std::string FileRequest(const ControlRequest& request);
    std::string RulesReport();

    std::wstring stem_;  // the program's path without ".exe"
    std::atomic<int> serviceSecurityRefusals_;
    const int serviceSecurityOutOfMemory_;
    std::atomic<int> serviceSecurityTries_{0};
    std::mutex lock_;
    ScenarioPc pc_;
    std::unique_ptr<VolumeEventBridge> eventBridge_;
    std::unique_ptr<ControlServer> control_;
};

}  // namespace variant
}  // namespace testbed
