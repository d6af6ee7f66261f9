#include "testbed/demo/Demonstration.h"

#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/store/FileKeySource.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "testbed/demo/DemoTable.h"
#include "testbed/demo/ScenarioText.h"
#include "testbed/demo/SettingToolRun.h"
#include "testbed/scenario/Scenario.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/drive/ScmSession.h"
#include "testbed/variant/drive/ServicePipe.h"

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace demo {
namespace {

using scmtest::ProgramRun;
using scmtest::ScmSession;
using testbed::scenario::Scenario;
using testbed::variant::ControlRequestOnce;

const char kOrdinaryProcess[] = "4321";
const DWORD kRuleTimeout = 20000;

// A line per step with the time it took.
class Step {
public:
    explicit Step(const char* title) : title_(title), start_(GetTickCount64()) {}
    void Done(bool ok, const std::string& detail = std::string())
    {
        std::printf("%s %-62s %6.2f s%s%s\n", ok ? "[ok]  " : "[FAIL]", title_, (GetTickCount64() - start_) / 1000.0,
                    detail.empty() ? "" : "  ", detail.c_str());
        std::fflush(stdout);
    }

private:
    const char* title_;
    ULONGLONG start_;
};

// Takes the service and its files away however the run ends.
class InstalledService {
public:
    ScmSession& Session() { return session_; }
    ~InstalledService() { session_.Remove(); }

private:
    ScmSession session_;
};

Quelmar::WhitelistEntry EntryFor(const testbed::scenario::StickSpec& stick, int attribute)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = stick.vendorId;
    entry.productId = stick.productId;
    for (char c : stick.serial)
        entry.serialNumber += CString(static_cast<WCHAR>(static_cast<unsigned char>(c)));
    entry.useVendorId = 1;
    entry.useProductId = 1;
    entry.useSerialNumber = 1;
    entry.attribute = attribute;
    return entry;
}

// The sticks plugged at start are whitelisted, read-only where the name begins with
// "readonly", full otherwise; anything else is blocked.
Quelmar::SettingV3 InitialSetting(const Scenario& scenario)
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = 0;
    setting.blockCdWriting = 0;
    setting.blockInternalSd = 0;
    for (const auto& stick : scenario.sticks) {
        if (stick.plugged)
            setting.whitelist.push_back(EntryFor(stick, stick.name.rfind("readonly", 0) == 0
                                                            ? Quelmar::WhitelistReadOnly
                                                            : Quelmar::WhitelistFullAccess));
    }
    return setting;
}

bool SaveSetting(const Quelmar::SettingV3& setting)
{
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    return Quelmar::SettingStore::SavePasswordData(Quelmar::PasswordData()) &&
           Quelmar::SettingStore::SaveSettingFile(keys, setting);
}

// Command 2 over the service's pipe, as the setting tool sends it after saving.
bool ReloadSetting(std::string& error)
{
    scmtest::ServicePipe pipe;
    std::vector<uint8_t> reply;
    if (!pipe.Open(10000) || !pipe.Exchange(scmtest::Request32(2), reply, 60000)) {
        error = "the service's pipe failed (error " + std::to_string(pipe.LastError()) + ")";
        return false;
    }
    if (scmtest::Values(reply) != std::vector<int32_t>{0}) {
        error = "the service refused the setting";
        return false;
    }
    return true;
}

std::string Status(const std::string& reply)
{
    const size_t at = reply.find("status ");
    return at == std::string::npos ? reply : reply.substr(at + 7, 10);
}

// Waits until the driver holds what every lettered row requires (or control is off); the
// table last seen is returned.
DriverTable WaitForRules(const std::vector<VolumeRow>& rows, bool control, bool& settled)
{
    const ULONGLONG deadline = GetTickCount64() + kRuleTimeout;
    while (true) {
        DriverTable table = ParseDriverTable(ControlRequestOnce("rules"));
        settled = table.mode == (control ? 1 : 0);
        for (const auto& row : rows) {
            if (control && row.letter && table.states[row.letter] != row.expectedState)
                settled = false;
        }
        if (settled || GetTickCount64() >= deadline)
            return table;
        Sleep(20);
    }
}

// A file on each volume that the reads of the table open, written by this process while the
// service exempts it.
bool Seed(const std::vector<VolumeRow>& rows, std::string& error)
{
    scmtest::ServicePipe pipe;
    std::vector<uint8_t> reply;
    const DWORD self = GetCurrentProcessId();
    if (!pipe.Open(10000) || !pipe.Exchange(scmtest::Request32(4, {self}), reply) ||
        scmtest::Values(reply) != std::vector<int32_t>{0, 1}) {
        error = "the service did not exempt the demonstration";
        return false;
    }
    bool ok = true;
    for (const auto& row : rows) {
        if (row.letter && Status(ControlRequestOnce("file " + std::to_string(self) + " " + row.letter +
                                                    " write seed.txt seeded")) != kSuccess) {
            error = std::string("cannot seed ") + row.letter + ":";
            ok = false;
        }
    }
    pipe.Exchange(scmtest::Request32(5, {self}), reply);
    return ok;
}

class Demonstration {
public:
    explicit Demonstration(const DemoPaths& paths) : paths_(paths) {}

    bool Run()
    {
        if (!BuildPc() || !StartService())
            return Finish();
        ShowTable("3. volumes as the whitelist rules them", true);
        PlugUnknown();
        WhitelistUnknown();
        SwitchControl();
        OpenSettingTool();
        StopService();
        return Finish();
    }

private:
    bool BuildPc()
    {
        Step step("1. PC from the scenario, setting written through the core store");
        const std::string text = scmtest::ReadText(paths_.scenario);
        const auto parsed = testbed::scenario::ParseScenario(text);
        if (text.empty() || !parsed.ok) {
            Fail(step, text.empty() ? "cannot read the scenario file" : parsed.error);
            return false;
        }
        scenario_ = parsed.scenario;
        scenarioText_ = text;
        for (const auto& stick : scenario_.sticks) {
            if (stick.plugged)
                plugged_.insert(stick.name);
            else if (unknown_.empty())
                unknown_ = stick.name;
        }
        setting_ = InitialSetting(scenario_);
        if (!SaveSetting(setting_)) {
            Fail(step, "the core store could not save the setting");
            return false;
        }
        step.Done(true, std::to_string(scenario_.disks.size()) + " disks, " + std::to_string(plugged_.size()) +
                            " sticks plugged, " + std::to_string(setting_.whitelist.size()) + " whitelisted");
        return true;
    }

    bool StartService()
    {
        Step step("2. service installed with sc create, started with net start");
        std::string error;
        service_.Session().Remove();
        if (!service_.Session().Install(paths_.variant, scenarioText_, error)) {
            Fail(step, error);
            return false;
        }
        const ProgramRun created = service_.Session().Create();
        const ProgramRun started = service_.Session().NetStart();
        SERVICE_STATUS status = {};
        if (created.exitCode != 0 || !service_.Session().WaitForState(SERVICE_RUNNING, 60000, status)) {
            Fail(step, "the service did not start: " + created.output + started.output +
                           scmtest::ReadText(service_.Session().Beside(L"QEVRINs.testbed.log")));
            return false;
        }
        const ProgramRun query = scmtest::RunProgram(L"sc.exe query QEVRINs");
        std::string state;
        const size_t at = query.output.find("STATE");
        if (at != std::string::npos) {
            for (size_t i = at; i < query.output.size() && query.output[i] != '\r' && query.output[i] != '\n'; ++i) {
                if (query.output[i] != ' ' || (!state.empty() && state.back() != ' '))
                    state += query.output[i];
            }
        }
        // The table's reads open a file that must exist on every volume first.
        bool settled = false;
        WaitForRules(Rows(), true, settled);
        if (!Seed(Rows(), error)) {
            Fail(step, error);
            return false;
        }
        step.Done(true, "sc query: " + state);
        return true;
    }

    std::vector<VolumeRow> Rows() const { return ExpectedRows(scenario_, plugged_, setting_); }

    // Fills the rows with what the driver holds and what an ordinary process gets; `withFiles`
    // false where the control pipe is gone with the service.
    bool Observe(std::vector<VolumeRow>& rows, const DriverTable& table, bool withFiles, std::string& why)
    {
        const bool control = setting_.usbControlEnabled != 0;
        bool ok = true;
        for (auto& row : rows) {
            if (!row.letter)
                continue;
            auto found = table.states.find(row.letter);
            row.driverState = found == table.states.end() ? "none" : found->second;
            if (withFiles) {
                const std::string prefix = std::string("file ") + kOrdinaryProcess + " " + row.letter;
                row.write = Status(ControlRequestOnce(prefix + " write demo.txt written"));
                row.read = Status(ControlRequestOnce(prefix + " read seed.txt"));
                if (ok && !RowBehaved(row, control, why))
                    ok = false;
            } else if (ok && row.driverState != row.expectedState) {
                why = row.volume + ": the driver holds " + row.driverState + ", the whitelist requires " +
                      row.expectedState;
                ok = false;
            }
        }
        return ok;
    }

    void ShowTable(const char* title, bool withRules)
    {
        Step step(title);
        std::vector<VolumeRow> rows = Rows();
        bool settled = false;
        const DriverTable table = WaitForRules(rows, setting_.usbControlEnabled != 0, settled);
        std::string why;
        const bool ok = Observe(rows, table, withRules, why) && settled;
        if (ok)
            step.Done(true, "mode " + std::to_string(table.mode));
        else
            Fail(step, why.empty() ? "the driver did not take the rules" : why);
        std::fputs(FormatTable(rows, setting_).c_str(), stdout);
    }

    void PlugUnknown()
    {
        Step step("4. unknown stick plugged");
        if (unknown_.empty()) {
            step.Done(true, "skipped: the scenario has no unplugged stick");
            return;
        }
        const ULONGLONG start = GetTickCount64();
        if (ControlRequestOnce("plug " + unknown_) != "ok") {
            Fail(step, "the testbed could not plug " + unknown_);
            return;
        }
        plugged_.insert(unknown_);
        bool settled = false;
        const auto rows = Rows();
        WaitForRules(rows, true, settled);
        const ULONGLONG ruled = GetTickCount64() - start;
        std::string detail = unknown_ + " ruled after " + std::to_string(ruled) + " ms";
        bool ok = settled;
        for (const auto& row : rows) {
            if (row.bus == "USB" && row.letter && row.volume.rfind(unknown_, 0) == 0) {
                const std::string write = Status(ControlRequestOnce(std::string("file ") + kOrdinaryProcess + " " +
                                                                    row.letter + " write demo.txt written"));
                detail += std::string(", write on ") + row.letter + ": " + (write == kSuccess ? "allowed " : "refused ") + write;
                ok = ok && write == ExpectedWrite(row.expectedState, true);
            }
        }
        if (ok)
            step.Done(true, detail);
        else
            Fail(step, detail);
    }

    void WhitelistUnknown()
    {
        if (unknown_.empty())
            return;
        {
            Step step("5. unknown stick whitelisted (store saved, command 2)");
            for (const auto& stick : scenario_.sticks) {
                if (stick.name == unknown_)
                    setting_.whitelist.push_back(EntryFor(stick, Quelmar::WhitelistFullAccess));
            }
            std::string error;
            if (!SaveSetting(setting_) || !ReloadSetting(error)) {
                Fail(step, error.empty() ? "the core store could not save the setting" : error);
                return;
            }
            step.Done(true);
        }
        std::string error;
        if (!Seed(Rows(), error))
            failures_.push_back(error);
        ShowTable("5. volumes after the whitelist change", true);
    }

    void SwitchControl()
    {
        for (int control : {0, 1}) {
            {
                Step step(control ? "6. USB control switched on again" : "6. USB control switched off");
                setting_.usbControlEnabled = control;
                std::string error;
                if (!SaveSetting(setting_) || !ReloadSetting(error)) {
                    Fail(step, error.empty() ? "the core store could not save the setting" : error);
                    return;
                }
                step.Done(true);
            }
            ShowTable(control ? "6. volumes with control on" : "6. volumes with control off", true);
        }
    }

    // The tool beside the service, on the PC as it stands now; it asks the service for its
    // version over the product's pipe and opens the sheet on the setting saved above (the
    // password data stored with it holds no password, so nothing asks for one).
    void OpenSettingTool()
    {
        Step step("7. setting tool opened against the running service");
        std::string error;
        if (!service_.Session().InstallProgram(paths_.tool, L"QEVRINTool.exe", error) ||
            !scmtest::WriteText(service_.Session().Beside(L"QEVRINTool.scenario"),
                                WithSticksPlugged(scenarioText_, plugged_))) {
            Fail(step, error.empty() ? "cannot write the tool's scenario" : error);
            return;
        }
        const SheetSeen seen = OpenMainSheet(service_.Session().Beside(L"QEVRINTool.exe"), paths_.screenshot);
        if (!seen.ok) {
            Fail(step, seen.detail);
            return;
        }
        step.Done(true, "main sheet with " + std::to_string(seen.tabs) + " tabs photographed, closed with Cancel");
    }

    void StopService()
    {
        Step step("8. control 128: the service stops, the driver keeps its table");
        SERVICE_STATUS status = {};
        if (!service_.Session().Control(128, status) ||
            !service_.Session().WaitForState(SERVICE_STOPPED, 60000, status) || status.dwWin32ExitCode != 0) {
            Fail(step, "the service did not stop cleanly (exit " + std::to_string(status.dwWin32ExitCode) + ")");
            return;
        }
        const std::string report = scmtest::ReadText(service_.Session().Beside(L"QEVRINs.testbed-stopped.txt"));
        std::vector<VolumeRow> rows = Rows();
        std::string why;
        const DriverTable table = ParseDriverTable(report);
        if (table.mode == 1 && Observe(rows, table, false, why))
            step.Done(true, "exit 0, mode 1");
        else
            Fail(step, why.empty() ? "the driver dropped its table" : why);
        std::fputs(FormatTable(rows, setting_).c_str(), stdout);
    }

    void Fail(Step& step, const std::string& why)
    {
        step.Done(false, why);
        failures_.push_back(why);
    }

    bool Finish()
    {
        if (failures_.empty())
            std::printf("QEVRIN behaved as the whitelist requires in every step.\n");
        else
            std::printf("QEVRIN did NOT behave as the whitelist requires: %s\n", failures_.front().c_str());
        std::fflush(stdout);
        return failures_.empty();
    }

    DemoPaths paths_;
    InstalledService service_;
    Scenario scenario_;
    std::string scenarioText_;
    std::set<std::string> plugged_;
    std::string unknown_;
    Quelmar::SettingV3 setting_;
    std::vector<std::string> failures_;
};

}  // namespace

bool RunDemonstration(const DemoPaths& paths)
{
    Demonstration demonstration(paths);
    return demonstration.Run();
}

}  // namespace demo
