// The service with the programs it works with in the user's session, for real, under Wine's
// service control manager: the service's variant installed at the product's path beside the
// variants of the remounter and the receiver. Portable devices are locked, recorded and given
// back; a whitelist change is made visible as the Windows version needs; the remounter asks
// the service over its pipe; the receiver forwards a device change. Each test starts the
// service on its own scenario and stops it again.
#include "core/tests/program_window.h"
#include "core/tests/stick_entry.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/ControlReplies.h"
#include "testbed/variant/drive/ScmSession.h"
#include "testbed/variant/drive/ServicePipe.h"

#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace scmtest {
namespace {

using testbed::variant::ControlRequestOnce;
using testbed::variant::Contains;
using testbed::variant::Lines;
using testbed::variant::ReplyLines;
using testbed::variant::RuleOf;
using testbed::variant::WaitForRule;
using testbed::variant::WaitUntil;

const wchar_t kRecordKey[] = L"SYSTEM\\CurrentControlSet\\Services\\QEVRINs\\WPD";
const char kRemounterPath[] = "C:\\Program Files\\QEVRIN\\QEVRINrmt.exe";
const char kShellUpdateDir[] = "notify 0x00001000 0x00000005";

// The workstation on another Windows version and time scale, with more lines at its end.
std::string Scenario(const std::string& windows, const std::string& more, const std::string& timeScale = "20")
{
    std::string scenario = ReadText(WindowsPath(QEVRIN_DEFAULT_SCENARIO));
    scenario.replace(scenario.find("windows 6.1"), 11, "windows " + windows);
    scenario.replace(scenario.find("time-scale 20"), 13, "time-scale " + timeScale);
    return scenario + more;
}

const char kConsoleUser[] = "session 1 user=alice console\n";

// The scenario's E: stick may write, or only read; F: only reads; anything else is blocked.
bool StoreSetting(bool fullStickReadOnly, bool blockPortable)
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = blockPortable ? 1 : 0;
    setting.blockCdWriting = 0;
    setting.blockInternalSd = 0;
    setting.whitelist = {StickEntry(0x0781, 0x5567, L"FULL01", fullStickReadOnly ? 2 : 0), StickEntry(0x0411, 0x010D, L"RO02", 2)};
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    return Quelmar::SettingStore::SavePasswordData(Quelmar::PasswordData()) &&
           Quelmar::SettingStore::SaveSettingFile(keys, setting);
}

struct LaunchRecord {
    std::string session, user, error, processId, application, commandLine;
};

std::vector<LaunchRecord> Launches()
{
    std::vector<LaunchRecord> launches;
    for (const std::string& line : ReplyLines("launches")) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        std::string field;
        while (std::getline(in, field, '\t'))
            fields.push_back(field);
        fields.resize(6);
        launches.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
    }
    return launches;
}

std::string Shown(const std::vector<std::string>& lines)
{
    std::string shown;
    for (const std::string& line : lines)
        shown += "\n  " + line;
    return shown;
}

// The driver keys the service recorded, or none when the key is missing.
std::set<std::string> RecordedDriverKeys(bool& keyExists)
{
    std::set<std::string> keys;
    HKEY key = nullptr;
    keyExists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!keyExists)
        return keys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[64];
        DWORD nameLength = 64;
        DWORD type = 0;
        BYTE data[1024] = {};
        DWORD size = sizeof(data) - sizeof(wchar_t);
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ) {
            const std::wstring value(reinterpret_cast<const wchar_t*>(data));
            keys.insert(std::string(value.begin(), value.end()));
        }
    }
    RegCloseKey(key);
    return keys;
}

// The class installer's calls on the portable devices; the volumes' own restarts are left out.
std::vector<std::string> PortableActions()
{
    std::vector<std::string> actions;
    for (const std::string& line : ReplyLines("actions"))
        for (const char* name : {"phone ", "camera ", "player "})
            if (line.compare(0, std::strlen(name), name) == 0)
                actions.push_back(line);
    return actions;
}

// A portable device's state from the devices reply: "enabled present", ...
std::map<std::string, std::string> PortableStates(std::map<std::string, std::string>* driverKeys = nullptr)
{
    std::map<std::string, std::string> states;
    for (const std::string& line : ReplyLines("devices")) {
        std::istringstream words(line);
        std::string name, key, enabled, present;
        if (words >> name >> key >> enabled >> present) {
            states[name] = enabled + " " + present;
            if (driverKeys)
                (*driverKeys)[name] = key;
        }
    }
    return states;
}

// The lines a session program's run with this process id left in its shell record.
std::vector<std::string> ShellLinesOf(const wchar_t* program, const std::string& processId)
{
    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadText(std::wstring(ScmSession::kFolder) + L"\\" + program)))
        if (line.compare(0, processId.size() + 1, processId + " ") == 0)
            lines.push_back(line.substr(processId.size() + 1));
    return lines;
}

class DevicesAndSessions : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session_ = new ScmSession;
        session_->Remove();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRecordKey);
        std::string error;
        installed_ = session_->Install(WindowsPath(QEVRIN_VARIANT_PROGRAM), Scenario("6.1", kConsoleUser), error) &&
                     session_->InstallProgram(WindowsPath(QEVRIN_REMOUNTER_VARIANT), L"QEVRINrmt.exe", error) &&
                     session_->InstallProgram(WindowsPath(QEVRIN_RECEIVER_VARIANT), L"QEVRINdcr.exe", error) &&
                     session_->Create().exitCode == 0;
        if (!installed_)
            installError_ = error;
    }

    static void TearDownTestSuite()
    {
        session_->Remove();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRecordKey);
        delete session_;
        session_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(installed_) << "the variants could not be installed: " << installError_; }

    void TearDown() override { Stop(); }

    // Starts the service on the scenario and waits until the driver holds the read-only stick's
    // rule, so that the first table is in force.
    static ::testing::AssertionResult Start(const std::string& scenario)
    {
        session_->RewriteScenario(scenario);
        const ProgramRun started = session_->NetStart();
        SERVICE_STATUS status = {};
        if (!session_->WaitForState(SERVICE_RUNNING, 60000, status))
            return ::testing::AssertionFailure() << "not running: " << started.output
                                                 << ReadText(session_->Beside(L"QEVRINs.testbed.log"));
        if (!WaitForRule('F', "2"))
            return ::testing::AssertionFailure() << "no first table: " << ControlRequestOnce("rules");
        return ::testing::AssertionSuccess();
    }

    static void Stop()
    {
        SERVICE_STATUS status = {};
        // A service that died does not take the control; Wine still shows it running.
        if (session_->Query(status) && status.dwCurrentState != SERVICE_STOPPED && session_->Control(128, status))
            session_->WaitForState(SERVICE_STOPPED, 60000, status);
    }

    static ScmSession* session_;
    static bool installed_;
    static std::string installError_;
};

ScmSession* DevicesAndSessions::session_ = nullptr;
bool DevicesAndSessions::installed_ = false;
std::string DevicesAndSessions::installError_;

TEST_F(DevicesAndSessions, PortableDevicesAreLockedRecordedAndGivenBackEvenAfterACrash)
{
    const std::string devices = "portable phone friendly=\"Phone\"\nportable camera disabled\nportable player unplugged\n";
    ASSERT_TRUE(StoreSetting(false, true));
    ASSERT_TRUE(Start(Scenario("6.1", std::string(kConsoleUser) + devices)));

    // At start only the device the user left enabled is disabled, in its configuration.
    std::map<std::string, std::string> keys;
    EXPECT_TRUE(WaitUntil([&] { return PortableStates(&keys)["phone"] == "disabled present"; }, 10000));
    EXPECT_EQ((std::vector<std::string>{"phone disable config-specific ok"}), PortableActions());
    bool recorded = false;
    EXPECT_EQ((std::set<std::string>{keys["phone"]}), RecordedDriverKeys(recorded));

    // A device plugged later is disabled within the pass period (10 s, half a second here).
    ASSERT_EQ("ok", ControlRequestOnce("plug player"));
    EXPECT_TRUE(WaitUntil([] { return PortableStates()["player"] == "disabled present"; }, 5000)) << Shown(ReplyLines("devices"));
    EXPECT_TRUE(WaitUntil([&] { return RecordedDriverKeys(recorded).size() == 2; }, 5000));
    EXPECT_EQ((std::set<std::string>{keys["phone"], keys["player"]}), RecordedDriverKeys(recorded));

    // Portable blocking off: the recorded devices are enabled and the record goes.
    ASSERT_TRUE(StoreSetting(false, false));
    EXPECT_EQ((std::vector<int32_t>{0}), Reload());
    EXPECT_TRUE(WaitUntil([] { return PortableStates()["phone"] == "enabled present"; }, 5000));
    std::map<std::string, std::string> states = PortableStates();
    EXPECT_EQ("enabled present", states["player"]);
    EXPECT_EQ("disabled present", states["camera"]);
    std::vector<std::string> actions = PortableActions();
    EXPECT_TRUE(Contains(actions, "phone enable config-specific ok")) << Shown(actions);
    EXPECT_TRUE(Contains(actions, "player enable config-specific ok")) << Shown(actions);
    EXPECT_TRUE(WaitUntil([&] { return RecordedDriverKeys(recorded).empty() && !recorded; }, 5000));

    // Blocking again, then the service dies while the devices are recorded.
    ASSERT_TRUE(StoreSetting(false, true));
    EXPECT_EQ((std::vector<int32_t>{0}), Reload());
    EXPECT_TRUE(WaitUntil([&] { return RecordedDriverKeys(recorded).size() == 2; }, 5000));
    const DWORD processId = session_->ProcessId();
    ASSERT_NE(0u, processId);
    {
        ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
        ASSERT_TRUE(process.IsValid());
        ASSERT_TRUE(TerminateProcess(process.Get(), 1));
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), 10000));
    }
    // The PC keeps the disable flags it was left with; the next start gives back what the
    // record names, and nothing of the user's own choice. (Wine's service control manager goes
    // on showing the dead service as running, but net start starts it again all the same.)
    ASSERT_TRUE(StoreSetting(false, false));
    ASSERT_TRUE(Start(Scenario("6.1", std::string(kConsoleUser) +
                                          "portable phone friendly=\"Phone\" disabled\nportable camera disabled\n"
                                          "portable player disabled\n")));
    EXPECT_NE(processId, session_->ProcessId());
    EXPECT_TRUE(WaitUntil([] { return PortableStates()["phone"] == "enabled present"; }, 10000));
    states = PortableStates();
    EXPECT_EQ("enabled present", states["player"]);
    EXPECT_EQ("disabled present", states["camera"]);
    actions = PortableActions();
    EXPECT_EQ((std::vector<std::string>{"phone enable config-specific ok", "player enable config-specific ok"}), actions);
    RecordedDriverKeys(recorded);
    EXPECT_FALSE(recorded);
}

struct RemountCase {
    const char* windows;
    const char* sessions;
    bool restarted;           // a property change on E:'s node
    int failedStarts;         // starts refused with ERROR_PIPE_NOT_CONNECTED before one that runs
    bool launched;
    std::vector<std::string> shell;  // the remounter's record
};

TEST_F(DevicesAndSessions, WhitelistChangeIsMadeVisibleAsTheWindowsVersionNeeds)
{
    const std::string update = std::string(kShellUpdateDir) + " E:\\";
    const std::string broadcast = "volume 0x00000010";
    const RemountCase cases[] = {
        {"6.2", kConsoleUser, true, 0, true, {update}},
        {"6.1", kConsoleUser, true, 0, false, {}},
        {"6.0", kConsoleUser, false, 0, true,
         {"broadcast 0x00000219 0x00008003 " + broadcast, "broadcast 0x00000219 0x00008004 " + broadcast,
          "broadcast 0x00000219 0x00008000 " + broadcast, update}},
        {"5.1", kConsoleUser, false, 0, false, {}},
        {"6.2", "session 1 console\n", true, 0, false, {}},
        {"6.2", "session 1 user=alice console\npipe-not-connected 3\n", true, 3, true, {update}},
    };
    for (const RemountCase& c : cases) {
        SCOPED_TRACE(std::string("windows ") + c.windows + ", " + c.sessions);
        ASSERT_TRUE(StoreSetting(false, false));
        ASSERT_TRUE(Start(Scenario(c.windows, c.sessions)));
        ASSERT_EQ("0", RuleOf('E'));

        ASSERT_TRUE(StoreSetting(true, false));
        EXPECT_EQ((std::vector<int32_t>{0}), Reload());
        EXPECT_TRUE(WaitForRule('E', "2"));
        const size_t expectedStarts = c.launched ? static_cast<size_t>(c.failedStarts) + 1 : 0;
        const std::string restart = "E: propchange global ok";
        if (c.restarted) {
            EXPECT_TRUE(WaitUntil([&] { return Contains(ReplyLines("actions"), restart); }, 20000));
        }
        if (c.launched) {
            EXPECT_TRUE(WaitUntil([&] { return Launches().size() >= expectedStarts; }, 20000));
        }
        // Whatever else was to come follows the table at once.
        Sleep(c.restarted || c.launched ? 500 : 1500);
        const std::vector<std::string> actions = ReplyLines("actions");
        EXPECT_EQ(c.restarted, Contains(actions, restart)) << Shown(actions);

        const std::vector<LaunchRecord> launches = Launches();
        ASSERT_EQ(expectedStarts, launches.size());
        for (size_t i = 0; i < launches.size(); ++i) {
            const LaunchRecord& launch = launches[i];
            EXPECT_EQ(i < launches.size() - 1 ? "233" : "0", launch.error) << i;
            EXPECT_EQ("1", launch.session);
            EXPECT_EQ("WORKSTATION\\alice", launch.user);
            EXPECT_EQ(kRemounterPath, launch.application);
            EXPECT_EQ("\"" + std::string(kRemounterPath) + "\" E", launch.commandLine);
        }
        if (c.launched && !launches.empty()) {
            // The remounter's variant really ran, and told the shell (and on 6.0 the desktop).
            const std::string processId = launches.back().processId;
            std::vector<std::string> shell;
            EXPECT_TRUE(WaitUntil([&] { return !(shell = ShellLinesOf(L"QEVRINrmt.testbed-shell.txt", processId)).empty(); }, 20000))
                << ReadText(session_->Beside(L"QEVRINrmt.testbed.log"));
            std::sort(shell.begin(), shell.end());
            std::vector<std::string> expected = c.shell;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(expected, shell);
        }
        Stop();
    }
}

TEST_F(DevicesAndSessions, RemounterForAllReadOnlyDrivesAsksTheServiceAndNotifiesExactlyThose)
{
    ASSERT_TRUE(StoreSetting(false, false));
    ASSERT_TRUE(Start(Scenario("6.2", kConsoleUser)));
    const ProgramRun run = RunProgram(L"\"" + session_->Beside(L"QEVRINrmt.exe") + L"\" ALLRO", 30000);
    ASSERT_TRUE(run.finished) << run.output;
    EXPECT_EQ((std::vector<std::string>{std::string(kShellUpdateDir) + " F:\\"}),
              ShellLinesOf(L"QEVRINrmt.testbed-shell.txt", std::to_string(run.processId)));

    // E: read-only too: both, and still nothing else.
    ASSERT_TRUE(StoreSetting(true, false));
    EXPECT_EQ((std::vector<int32_t>{0}), Reload());
    ASSERT_TRUE(WaitForRule('E', "2"));
    const ProgramRun again = RunProgram(L"\"" + session_->Beside(L"QEVRINrmt.exe") + L"\" ALLRO", 30000);
    ASSERT_TRUE(again.finished) << again.output;
    std::vector<std::string> shell = ShellLinesOf(L"QEVRINrmt.testbed-shell.txt", std::to_string(again.processId));
    std::sort(shell.begin(), shell.end());
    EXPECT_EQ((std::vector<std::string>{std::string(kShellUpdateDir) + " E:\\", std::string(kShellUpdateDir) + " F:\\"}),
              shell);
}

// A program started from the test, ended when the holder goes.
class StartedProgram {
public:
    explicit StartedProgram(const std::wstring& path)
    {
        std::wstring line = L"\"" + path + L"\"";
        line.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process_.Reset(info.hProcess);
            ScopedHandle thread(info.hThread);
            id_ = info.dwProcessId;
        }
    }
    ~StartedProgram()
    {
        if (process_.IsValid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            if (HWND window = ProgramWindowOf(id_))
                PostMessageW(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_.Get(), 5000) != WAIT_OBJECT_0)
                TerminateProcess(process_.Get(), 1);
        }
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return id_; }

private:
    ScopedHandle process_;
    DWORD id_ = 0;
};

TEST_F(DevicesAndSessions, ReceiverForwardsADeviceChangeAndRunsOncePerSession)
{
    ASSERT_TRUE(StoreSetting(false, false));
    // Real time: the 60 s pass cannot find the stick within this test, only the receiver's word.
    ASSERT_TRUE(Start(Scenario("6.1", kConsoleUser, "1")));
    StartedProgram receiver(session_->Beside(L"QEVRINdcr.exe"));
    ASSERT_TRUE(receiver.Process()) << GetLastError();
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = ProgramWindowOf(receiver.Id())) != nullptr; }, 20000))
        << "no window; the receiver " << (WaitForSingleObject(receiver.Process(), 0) == WAIT_OBJECT_0 ? "ended" : "runs")
        << "; " << ReadText(session_->Beside(L"QEVRINdcr.testbed.log"));

    StartedProgram second(session_->Beside(L"QEVRINdcr.exe"));
    ASSERT_TRUE(second.Process());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(second.Process(), 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(receiver.Process(), 0));

    // Neither a service event nor a volume event tells the service of this stick.
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown quiet"));
    Sleep(1000);
    ASSERT_EQ("none", RuleOf('H'));
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('H' - 'A');
    DWORD_PTR result = 0;
    EXPECT_NE(0, SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume),
                                     SMTO_ABORTIFHUNG, 15000, &result));
    EXPECT_TRUE(WaitForRule('H', "1", 10000)) << ControlRequestOnce("rules");
}

}  // namespace
}  // namespace scmtest
