#include "testbed/variant/VariantRuntime.h"

#include "testbed/machine/Sessions.h"
#include "testbed/machine/interpose.h"
#include "testbed/variant/DiscControl.h"
#include "testbed/variant/Records.h"
#include "testbed/variant/TimeScale.h"

#include <atomic>
#include <cstdio>
#include <vector>

namespace testbed {
namespace variant {
namespace {

std::atomic<VariantRuntime*> g_current{nullptr};

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

// The program's own path, asked of the system itself: the simulated PC may answer for it.
std::wstring ProgramStem()
{
    static auto real = RealFunction<decltype(&::GetModuleFileNameW)>(L"kernel32.dll", "GetModuleFileNameW");
    std::vector<WCHAR> path(MAX_PATH);
    while (true) {
        const DWORD length = real(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            std::wstring stem(path.data(), length);
            const size_t dot = stem.find_last_of(L".\\");
            if (dot != std::wstring::npos && stem[dot] == L'.')
                stem.resize(dot);
            return stem;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Environment(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    value.resize(length < size ? length : 0);
    return value;
}

void AppendFile(const std::wstring& path, const std::string& text, bool truncate)
{
    ScopedHandle file(CreateFileW(path.c_str(), truncate ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return;
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// False with the reason when the file is missing, unreadable or too large.
bool ReadScenarioFile(const std::wstring& path, std::string& text, std::string& error)
{
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.IsValid()) {
        error = "cannot open the scenario " + Narrow(path) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    text.assign(scenario::kMaxScenarioBytes + 1, '\0');
    DWORD total = 0;
    while (total < text.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), &text[total], static_cast<DWORD>(text.size() - total), &read, nullptr)) {
            error = "cannot read the scenario " + Narrow(path) + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (read == 0)
            break;
        total += read;
    }
    text.resize(total);
    return true;
}

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
    std::wstring path = Environment(L"QEVRIN_TESTBED_SCENARIO");
    if (path.empty())
        path = stem + L".scenario";
    std::string text;
    std::string error;
    if (!ReadScenarioFile(path, text, error)) {
        AppendFile(log, error + "\r\n", true);
        return nullptr;
    }
    scenario::ParseResult parsed = scenario::ParseScenario(text);
    if (!parsed.ok) {
        AppendFile(log, Narrow(path) + ": " + parsed.error + "\r\n", true);
        return nullptr;
    }
    const std::wstring scale = Environment(L"QEVRIN_TESTBED_TIME_SCALE");
    if (!scale.empty()) {
        const unsigned long value = wcstoul(scale.c_str(), nullptr, 10);
        if (value < 1 || value > 1000) {
            AppendFile(log, "QEVRIN_TESTBED_TIME_SCALE must be 1 to 1000\r\n", true);
            return nullptr;
        }
        parsed.scenario.timeScale = static_cast<unsigned>(value);
    }
    AppendFile(log, "", true);
    std::unique_ptr<VariantRuntime> runtime(new VariantRuntime(stem, parsed.scenario));
    if (!runtime->control_->Running()) {
        runtime->Log("cannot create the control pipe (error " + std::to_string(runtime->control_->Error()) + ")");
        return nullptr;
    }
    VariantRuntime* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, runtime.get())) {
        runtime->Log("another variant runtime runs in this process");
        return nullptr;
    }
    runtime->Log("scenario " + Narrow(path) + ", time scale " + std::to_string(parsed.scenario.timeScale) +
                 (parsed.scenario.driverPresent ? ", driver present" : ", no driver"));
    return runtime;
}

VariantRuntime::VariantRuntime(std::wstring stem, const scenario::Scenario& scenario)
    : stem_(std::move(stem)), pc_(scenario)
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
    case ControlVerb::Actions: {
        std::string reply = "ok";
        for (const std::string& line : request.verb == ControlVerb::Launches ? RecordedLaunches() : RecordedDeviceActions())
            reply += "\n" + line;
        if (request.verb == ControlVerb::Launches)
            reply += SessionLaunchesReport();
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

std::string VariantRuntime::SessionLaunchesReport()
{
    std::string report;
    if (!pc_.Pc().Sessions().Active())
        return report;
    for (const Launch& launch : pc_.Pc().Sessions().Launches()) {
        const std::wstring& image = launch.hasApplicationName ? launch.applicationName : launch.commandLine;
        report += "\nlaunch session " + std::to_string(launch.sessionId) + " user " + Narrow(launch.user) + " integrity " +
                  Hex(launch.integrityLevel) + " primary " + (launch.primaryToken ? "1" : "0") + " error " +
                  std::to_string(launch.error) + " image " + Narrow(image);
    }
    return report;
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
