#include "testbed/variant/VariantRuntime.h"

#include "testbed/variant/DiscControl.h"
#include "testbed/variant/MachineReports.h"
#include "testbed/variant/ProgramFiles.h"
#include "testbed/variant/Records.h"
#include "testbed/variant/TimeScale.h"

#include <atomic>
#include <cstdio>
#include <vector>

namespace testbed {
namespace variant {
namespace {

std::atomic<VariantRuntime*> g_current{nullptr};

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::unique_ptr<VariantRuntime> VariantRuntime::Start()
{
    const std::wstring stem = ProgramStem();
    const std::wstring log = stem + L".testbed.log";
    scenario::Scenario loaded;
    std::wstring path;
    std::string error;
    if (!LoadScenario(stem, loaded, path, error)) {
        AppendFile(log, error + "\r\n", true);
        return nullptr;
    }
    AppendFile(log, "", true);
    std::unique_ptr<VariantRuntime> runtime(new VariantRuntime(stem, loaded));
    if (!runtime->control_->Running()) {
        runtime->Log("cannot create the control pipe (error " + std::to_string(runtime->control_->Error()) + ")");
        return nullptr;
    }
    VariantRuntime* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, runtime.get())) {
        runtime->Log("another variant runtime runs in this process");
        return nullptr;
    }
    runtime->Log("scenario " + Narrow(path) + ", time scale " + std::to_string(loaded.timeScale) +
                 (loaded.driverPresent ? ", driver present" : ", no driver"));
    return runtime;
}

VariantRuntime::VariantRuntime(std::wstring stem, const scenario::Scenario& scenario)
    : stem_(std::move(stem)),
      serviceSecurityRefusals_(scenario.serviceSecurityFailures),
      serviceSecurityOutOfMemory_(scenario.serviceSecurityOutOfMemory),
      pc_(scenario)
{
    SetTimeScale(scenario.timeScale);
    if (pc_.Bridge())
        eventBridge_.reset(new VolumeEventBridge(pc_.Bridge()->Kernel()));
    const std::string pipe = kControlPipeName;
    control_.reset(new ControlServer(std::wstring(pipe.begin(), pipe.end()),
                                     [this](const std::string& request) { return Handle(request); }));
}

VariantRuntime::~VariantRuntime()
{
    VariantRuntime* self = this;
    g_current.compare_exchange_strong(self, nullptr);
    // The pipe and the bridge stop before the PC they reach goes.
    control_.reset();
    eventBridge_.reset();
}

VariantRuntime* VariantRuntime::Current() { return g_current.load(); }

void VariantRuntime::Log(const std::string& line) { AppendFile(stem_ + L".testbed.log", line + "\r\n", false); }

bool VariantRuntime::RefuseServiceSecurity()
{
    int left = serviceSecurityRefusals_.load();
    while (left > 0 && !serviceSecurityRefusals_.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}

bool VariantRuntime::ServiceSecurityRunsOutOfMemory()
{
    return ++serviceSecurityTries_ == serviceSecurityOutOfMemory_;
}

std::string VariantRuntime::Handle(const std::string& text)
{
    ControlRequest request;
    std::string error;
    if (!ParseControlRequest(text, request, error))
        return "error " + error;
    std::lock_guard<std::mutex> hold(lock_);
    switch (request.verb) {
    case ControlVerb::Ping:
        return "ok";
    case ControlVerb::Plug:
        return pc_.Plug(request.stick, !request.quiet, error) ? "ok" : "error " + error;
    case ControlVerb::Unplug:
        return pc_.Unplug(request.stick, error) ? "ok" : "error " + error;
    case ControlVerb::File:
        return FileRequest(request);
    case ControlVerb::Disc:
        return HandleDiscRequest(pc_, request.disc);
    case ControlVerb::Rules:
        return RulesReport();
    case ControlVerb::ServiceSecurity: {
        const std::string sddl = RecordedServiceSecurity();
        return sddl.empty() ? "ok" : "ok " + sddl;
    }
    case ControlVerb::Launches:
    case ControlVerb::Actions:
    case ControlVerb::Devices: {
        const std::vector<std::string> lines = request.verb == ControlVerb::Launches ? LaunchLines(pc_)
                                               : request.verb == ControlVerb::Actions ? ActionLines(pc_)
                                                                                       : PortableLines(pc_);
        std::string reply = "ok";
        for (const std::string& line : lines)
            reply += "\n" + line;
        return reply;
    }
    }
    return "error unhandled request";
}

std::string VariantRuntime::FileRequest(const ControlRequest& request)
{
    if (!pc_.Bridge())
        return "error the scenario has no driver, so no file system";
    Volume* volume = pc_.VolumeByLetter(static_cast<wchar_t>(request.letter));
    if (!volume)
        return std::string("error no volume ") + request.letter + ":";
    static const bridge::KernelPc::FileStep steps[] = {bridge::KernelPc::FileStep::Create, bridge::KernelPc::FileStep::Write,
                                                       bridge::KernelPc::FileStep::Read, bridge::KernelPc::FileStep::Rename};
    std::vector<uint8_t> data(request.argument.begin(), request.argument.end());
    const int32_t status =
        pc_.Bridge()->Kernel().FileOperation(volume->deviceName, request.processId, steps[static_cast<int>(request.file)],
                                            Widen(request.path), Widen(request.argument), data);
    std::string reply = "ok status " + Hex(static_cast<uint32_t>(status)) + " win32 " +
                        std::to_string(status < 0 ? Win32ErrorOf(status) : 0);
    if (request.file == FileVerb::Read && status >= 0)
        reply += " data " + std::string(data.begin(), data.end());
    return reply;
}

std::string VariantRuntime::RulesReport()
{
    if (!pc_.Bridge())
        return "error the scenario has no driver";
    bridge::KernelPc& kernel = pc_.Bridge()->Kernel();
    std::vector<std::pair<std::wstring, int32_t>> rules = kernel.DriverRules();
    std::string reply = "ok mode " + std::to_string(kernel.DriverMode());
    for (Volume* volume : pc_.Pc().Volumes()) {
        std::string state = "none";
        for (auto rule = rules.begin(); rule != rules.end(); ++rule) {
            if (rule->first == volume->deviceName) {
                state = std::to_string(rule->second);
                rules.erase(rule);
                break;
            }
        }
        const std::string letter = volume->letters.empty() ? "-" : std::string(1, static_cast<char>(volume->letters.front()));
        reply += "\nvolume " + letter + " " + Narrow(volume->deviceName) + " " + state;
    }
    for (const auto& rule : rules)
        reply += "\nrule " + Narrow(rule.first) + " " + std::to_string(rule.second);
    return reply;
}

bool VariantRuntime::Translate(DWORD control, TranslatedControl& translated)
{
    std::lock_guard<std::mutex> hold(lock_);
    return TranslateReservedControl(control, pc_.LastVolumeInterface(), pc_.LastDiskInterface(), translated);
}

void VariantRuntime::ReportStopped(const SERVICE_STATUS& status)
{
    std::string report = "exit " + std::to_string(status.dwWin32ExitCode) + " specific " +
                         std::to_string(status.dwServiceSpecificExitCode) + "\n";
    {
        std::lock_guard<std::mutex> hold(lock_);
        report += RulesReport() + "\n";
        // What the program held of the disc recorders when it stopped.
        if (pc_.Discs())
            report += HandleDiscRequest(pc_, DiscRequest()) + "\n";
    }
    AppendFile(stem_ + L".testbed-stopped.txt", report, true);
    Log("stopped: " + report.substr(0, report.find('\n')));
}

}  // namespace variant
}  // namespace testbed
