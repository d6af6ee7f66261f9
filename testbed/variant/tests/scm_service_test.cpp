// The service, for real, under Wine's service control manager: its test variant installed at
// the product's path with the README's own command line, on the workstation scenario with a
// stored setting, started with net, asked over its own pipe, watched through the driver's table
// while sticks come and go, and stopped with control 128. Each test brings the service to the
// state it needs: one that runs on the scenario the test wants is kept, anything else is
// stopped and started again, so the tests run in any order and alone.
#include "core/tests/stick_entry.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/ControlReplies.h"
#include "testbed/variant/drive/ScmSession.h"
#include "testbed/variant/drive/ServicePipe.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace scmtest {
namespace {

using testbed::variant::ControlRequestOnce;
using testbed::variant::WaitUntil;

const uint32_t kOrdinaryProcess = 4321;

std::string DefaultScenario() { return ReadText(WindowsPath(QEVRIN_DEFAULT_SCENARIO)); }

// The workstation with its time scale changed, and perhaps without the driver.
std::string Scenario(const std::string& timeScale, bool driver = true)
{
    std::string scenario = DefaultScenario();
    scenario.replace(scenario.find("time-scale 20"), 13, "time-scale " + timeScale);
    if (!driver)
        scenario.replace(scenario.find("driver present"), 14, "driver absent");
    return scenario;
}

// The full stick may write, the read-only one may read; anything else is blocked.
bool StoreSetting(int control)
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = control;
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = 0;
    setting.blockCdWriting = 0;
    setting.blockInternalSd = 0;
    setting.whitelist = {StickEntry(0x0781, 0x5567, L"FULL01", 0), StickEntry(0x0411, 0x010D, L"RO02", 2)};
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    return Quelmar::SettingStore::SavePasswordData(Quelmar::PasswordData()) &&
           Quelmar::SettingStore::SaveSettingFile(keys, setting);
}

// The driver's table as the variant reports it: mode, and the state of each lettered volume.
struct DriverTable {
    int mode = -1;
    std::map<char, std::string> states;  // "0", "1", "2" or "none"
};

DriverTable ParseTable(const std::string& report)
{
    DriverTable table;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, second, name, state;
        words >> first >> second;
        if (first == "ok" && second == "mode")
            words >> table.mode;
        else if (first == "volume" && second.size() == 1 && (words >> name >> state))
            table.states[second[0]] = state;
    }
    return table;
}

DriverTable CurrentTable() { return ParseTable(ControlRequestOnce("rules")); }

// Waits until the driver holds the state for the letter; the report last seen goes to `seen`.
bool WaitForRule(char letter, const std::string& state, std::string& seen, DWORD timeoutMilliseconds = 20000)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (true) {
        seen = ControlRequestOnce("rules");
        const DriverTable table = ParseTable(seen);
        auto found = table.states.find(letter);
        if (found != table.states.end() && found->second == state)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
}

// The command line that the README's install section gives for cmd.exe.
std::string ReadmeInstallLine()
{
    std::istringstream lines(ReadText(WindowsPath(QEVRIN_README)));
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 3, "## ") == 0)
            inSection = line == "## Installing the service";
        else if (inSection && line.compare(0, 10, "sc create ") == 0)
            return line;
    }
    return std::string();
}

// The program path the service control manager stored for the service.
std::wstring StoredImagePath()
{
    wchar_t path[1024] = {};
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QEVRINs", L"ImagePath",
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, path, &size) != ERROR_SUCCESS)
        return std::wstring();
    return path;
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string FileStatus(const std::string& request)
{
    const std::string reply = ControlRequestOnce(request);
    const size_t at = reply.find("status ");
    return at == std::string::npos ? reply : reply.substr(at + 7, 10);
}

class ServiceVariant : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session_ = new ScmSession;
        session_->Remove();
        const std::string line = ReadmeInstallLine();
        std::string error;
        if (line.empty()) {
            installError_ = "the README's install section gives no sc create line";
        } else if (!session_->Install(WindowsPath(QEVRIN_VARIANT_PROGRAM), Scenario("1"), error)) {
            installError_ = error;
        } else {
            // As an administrator types it at cmd.exe's prompt.
            const ProgramRun created = RunProgram(L"cmd.exe /c " + std::wstring(line.begin(), line.end()));
            installed_ = created.finished && created.exitCode == 0;
            installError_ = line + ": " + created.output;
        }
    }

    static void TearDownTestSuite()
    {
        session_->Remove();
        delete session_;
        session_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(installed_) << "the variant could not be installed: " << installError_; }

    // A test that failed may have left the service half way: the next starts it afresh.
    void TearDown() override
    {
        if (HasFailure())
            Stop();
    }

    // The service runs on the scenario with USB control on and its first table in force: kept
    // when it runs on that scenario already (unless a fresh start is asked for), else started
    // with net start.
    static ::testing::AssertionResult Running(const std::string& scenario, bool fresh = false)
    {
        SERVICE_STATUS status = {};
        if (!fresh && scenario == runningScenario_ && session_->Query(status) && status.dwCurrentState == SERVICE_RUNNING)
            return ::testing::AssertionSuccess();
        Stop();
        if (!StoreSetting(1))
            return ::testing::AssertionFailure() << "the setting could not be stored";
        session_->RewriteScenario(scenario);
        const ProgramRun started = session_->NetStart();
        if (!session_->WaitForState(SERVICE_RUNNING, 60000, status))
            return ::testing::AssertionFailure() << "not running: " << started.output
                                                 << ReadText(session_->Beside(L"QEVRINs.testbed.log"));
        runningScenario_ = scenario;
        std::string seen;
        if (!WaitForRule('F', "2", seen))
            return ::testing::AssertionFailure() << "no first table: " << seen;
        return ::testing::AssertionSuccess();
    }

    // Stopped with control 128 when it runs.
    static void Stop()
    {
        runningScenario_.clear();
        SERVICE_STATUS status = {};
        if (session_->Query(status) && status.dwCurrentState != SERVICE_STOPPED && session_->Control(128, status))
            session_->WaitForState(SERVICE_STOPPED, 60000, status);
    }

    // The unknown stick plugged (it may be already) and blocked.
    static ::testing::AssertionResult UnknownStickBlocked()
    {
        ControlRequestOnce("plug unknown");
        std::string seen;
        if (!WaitForRule('H', "1", seen))
            return ::testing::AssertionFailure() << "the unknown stick is not blocked: " << seen;
        return ::testing::AssertionSuccess();
    }

    static ScmSession* session_;
    static bool installed_;
    static std::string installError_;
    static std::string runningScenario_;
};

ScmSession* ServiceVariant::session_ = nullptr;
bool ServiceVariant::installed_ = false;
std::string ServiceVariant::installError_;
std::string ServiceVariant::runningScenario_;

TEST_F(ServiceVariant, InstalledAsTheReadmeSaysWithTheProgramPathQuoted)
{
    // Unquoted, a path with a blank would let C:\Program.exe run in the service's place.
    EXPECT_EQ(L"\"" + std::wstring(ScmSession::kProgram) + L"\"", StoredImagePath()) << ReadmeInstallLine();
}

TEST_F(ServiceVariant, StartsWithNetAndRefusesNetStop)
{
    ASSERT_TRUE(Running(Scenario("1")));
    const ProgramRun stop = session_->NetStop();
    EXPECT_NE(0u, stop.exitCode) << stop.output;
    Sleep(500);
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_->Query(status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
}

TEST_F(ServiceVariant, PipeAnswersVersionDriveStatesAndBadRequests)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ServicePipe pipe;
    ASSERT_TRUE(pipe.Open(10000)) << pipe.LastError();
    std::vector<uint8_t> reply;
    ASSERT_TRUE(pipe.Exchange(Request32(1), reply)) << pipe.LastError();
    EXPECT_EQ((std::vector<int32_t>{0, 1, 0, 1, 1}), Values(reply));
    EXPECT_EQ(20u, reply.size());

    const struct {
        wchar_t letter;
        std::vector<int32_t> answer;
    } drives[] = {{L'C', {0, 1, 0}}, {L'd', {0, 1, 0}}, {L'E', {0, 1, 0}}, {L'F', {0, 1, 2}}, {L'Q', {0, 0, -1}}};
    // Several requests in turn on one connection, answered in order.
    for (const auto& drive : drives) {
        ASSERT_TRUE(pipe.Exchange(RequestLetter(6, drive.letter), reply)) << pipe.LastError();
        EXPECT_EQ(drive.answer, Values(reply)) << static_cast<char>(drive.letter);
    }
    const struct {
        std::vector<uint8_t> request;
        int32_t status;
    } bad[] = {{{1, 0, 0}, 2}, {Request32(1, {0}), 2}, {Request32(6, {'E'}), 2}, {Request32(4), 2}, {Request32(7), 1},
               {Request32(0xFFFFFFFF), 1}};
    for (const auto& b : bad) {
        ASSERT_TRUE(pipe.Exchange(b.request, reply)) << pipe.LastError();
        EXPECT_EQ((std::vector<int32_t>{b.status}), Values(reply));
        EXPECT_EQ(4u, reply.size());
    }
}

TEST_F(ServiceVariant, OrdinaryWritesAreRefusedPerStick)
{
    ASSERT_TRUE(Running(Scenario("1")));
    EXPECT_EQ("0x00000000", FileStatus("file 4321 E write full.txt x"));
    EXPECT_EQ("0xC00000A2", FileStatus("file 4321 F write ro.txt x"));
    EXPECT_EQ("0xC00000A2", FileStatus("file 4321 F create ro2.txt"));
    EXPECT_EQ("0x00000000", FileStatus("file 4321 D write data.txt x"));
}

// Real time in these two: the 60 s pass cannot rule a stick inside their short windows, and a
// fresh start has no rule for the stick yet, so only the event under test can bring one.
TEST_F(ServiceVariant, StickPluggedWithoutAnyEventIsRuledThroughTheVolumeEvent)
{
    ASSERT_TRUE(Running(Scenario("1"), true));
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    std::string seen;
    EXPECT_TRUE(WaitForRule('H', "1", seen, 2000)) << seen;
    EXPECT_EQ("0xC000003A", FileStatus("file 4321 H create blocked.txt"));
}

TEST_F(ServiceVariant, StickPluggedWithAnInjectedDeviceEventIsRuled)
{
    ASSERT_TRUE(Running(Scenario("1"), true));
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown quiet"));
    ASSERT_EQ("none", CurrentTable().states['H']);
    SERVICE_STATUS status = {};
    std::string seen;
    ASSERT_TRUE(session_->Control(200, status));
    EXPECT_TRUE(WaitForRule('H', "1", seen, 2000)) << seen;
}

TEST_F(ServiceVariant, ExemptionOnlyForTheCallersOwnProcess)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ASSERT_TRUE(UnknownStickBlocked());
    ServicePipe pipe;
    ASSERT_TRUE(pipe.Open(10000));
    std::vector<uint8_t> reply;
    ASSERT_TRUE(pipe.Exchange(Request32(4, {kOrdinaryProcess}), reply));
    EXPECT_EQ((std::vector<int32_t>{0, 0}), Values(reply));
    EXPECT_EQ("0xC000003A", FileStatus("file 4321 H create other.txt"));

    const uint32_t self = GetCurrentProcessId();
    ASSERT_TRUE(pipe.Exchange(Request32(4, {self}), reply));
    EXPECT_EQ((std::vector<int32_t>{0, 1}), Values(reply));
    EXPECT_EQ("0x00000000", FileStatus("file " + std::to_string(self) + " H create mine.txt"));
    ASSERT_TRUE(pipe.Exchange(Request32(5, {self}), reply));
    EXPECT_EQ((std::vector<int32_t>{0, 1}), Values(reply));
    EXPECT_EQ("0xC000003A", FileStatus("file " + std::to_string(self) + " H create again.txt"));
}

TEST_F(ServiceVariant, PipeNameCannotBeTakenWhileRunning)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ScopedHandle squatter(CreateNamedPipeW(kServicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                           1024, 1024, 0, nullptr));
    EXPECT_FALSE(squatter.IsValid());
}

TEST_F(ServiceVariant, PipeDaclReadsBackAsSet)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ServicePipe pipe;
    ASSERT_TRUE(pipe.Open(10000, GENERIC_READ | GENERIC_WRITE | READ_CONTROL));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetSecurityInfo(pipe.Handle(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                                                 nullptr, nullptr, &dacl, nullptr, &descriptor));
    std::map<std::string, std::pair<DWORD, BYTE>> entries;  // SID -> access, flags
    for (DWORD index = 0; dacl && index < dacl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        LPSTR sid = nullptr;
        if (ConvertSidToStringSidA(&ace->SidStart, &sid)) {
            entries[sid] = {ace->Mask, ace->Header.AceFlags};
            LocalFree(sid);
        }
    }
    LocalFree(descriptor);
    const std::map<std::string, std::pair<DWORD, BYTE>> expected = {{"S-1-3-0", {0x1F01FF, 0xF}},
                                                                    {"S-1-5-18", {0x1F01FF, 3}},
                                                                    {"S-1-5-32-544", {0x1F01FF, 3}},
                                                                    {"S-1-5-4", {0x1301FF, 3}}};
    EXPECT_EQ(expected, entries);
}

TEST_F(ServiceVariant, AccessListThatCannotBeNarrowedIsTriedAgainUntilOnlySystemAndAdministratorsMaySendUserControls)
{
    // The first six tries to narrow the service's own access list fail: the second runs out of
    // memory, the others are refused.
    ASSERT_TRUE(Running(Scenario("1") + "service-security-failures 5\nservice-security-out-of-memory 2\n", true));
    const std::wstring log = session_->Beside(L"QEVRINs.testbed.log");
    const auto failed = [&](const std::string& how) {
        return Occurrences(ReadText(log), "service access list " + how);
    };

    // Every event that reaches the service tries again, so a PC where no setting is ever
    // reloaded is covered too. After the start's, the first is the volume event that the driver
    // signalled for the volumes mounted at boot, before the service started: its try runs out
    // of memory, which must end neither the retries nor the thread that waits for volume events.
    EXPECT_TRUE(WaitUntil([&] { return failed("refused") == 1 && failed("out of memory") == 1; }, 10000))
        << ReadText(log);
    EXPECT_EQ("ok", ControlRequestOnce("service-security"));
    SERVICE_STATUS status = {};
    const struct {
        const char* road;
        DWORD control;
    } roads[] = {{"logon", 204}, {"logoff", 205}, {"device event", 200}, {"reload", 0}};
    size_t expected = 1;
    for (const auto& road : roads) {
        if (road.control != 0) {
            ASSERT_TRUE(session_->Control(road.control, status)) << road.road;
        } else {
            ServicePipe pipe;
            ASSERT_TRUE(pipe.Open(10000));
            std::vector<uint8_t> reply;
            ASSERT_TRUE(pipe.Exchange(Request32(2), reply, 60000));
        }
        ++expected;
        EXPECT_TRUE(WaitUntil([&] { return failed("refused") == expected; }, 10000))
            << road.road << ": " << ReadText(log);
        EXPECT_EQ("ok", ControlRequestOnce("service-security")) << road.road;
    }

    // The next try, at the volume event of a stick plugged, holds, and the event rules the
    // stick. Wine keeps no access list for a service, so the list the service set is read back
    // from the testbed, which saw the call.
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    std::string recorded;
    ASSERT_TRUE(WaitUntil([&] { return (recorded = ControlRequestOnce("service-security")).find("ok D:") == 0; }, 10000))
        << recorded;
    std::string seen;
    EXPECT_TRUE(WaitForRule('H', "1", seen, 2000)) << seen;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(recorded.substr(3).c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << recorded;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    const BOOL read = GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::map<std::string, DWORD> access;
    for (DWORD index = 0; read && dacl && index < dacl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        LPSTR sid = nullptr;
        if (ConvertSidToStringSidA(&ace->SidStart, &sid)) {
            access[sid] |= ace->Mask;
            LocalFree(sid);
        }
    }
    LocalFree(descriptor);
    ASSERT_TRUE(read && present && dacl) << recorded;
    for (const auto& entry : access) {
        const bool trusted = entry.first == "S-1-5-18" || entry.first == "S-1-5-32-544";
        EXPECT_EQ(trusted, (entry.second & SERVICE_USER_DEFINED_CONTROL) != 0) << entry.first << " in " << recorded;
    }
    EXPECT_NE(0u, access["S-1-5-18"] & SERVICE_USER_DEFINED_CONTROL) << recorded;
    EXPECT_NE(0u, access["S-1-5-32-544"] & SERVICE_USER_DEFINED_CONTROL) << recorded;
}

TEST_F(ServiceVariant, SettingWithControlOffReleasesTheDriver)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ASSERT_TRUE(UnknownStickBlocked());
    ASSERT_TRUE(StoreSetting(0));
    ServicePipe pipe;
    ASSERT_TRUE(pipe.Open(10000));
    std::vector<uint8_t> reply;
    ASSERT_TRUE(pipe.Exchange(Request32(2), reply, 60000));
    EXPECT_EQ((std::vector<int32_t>{0}), Values(reply));
    EXPECT_EQ(0, CurrentTable().mode);
    EXPECT_EQ("0x00000000", FileStatus("file 4321 H create free.txt"));

    // Control back on: enforcement starts again and the unknown stick is blocked once more.
    ASSERT_TRUE(StoreSetting(1));
    ASSERT_TRUE(pipe.Exchange(Request32(2), reply, 60000));
    EXPECT_EQ((std::vector<int32_t>{0}), Values(reply));
    std::string seen;
    EXPECT_TRUE(WaitForRule('H', "1", seen)) << seen;
    EXPECT_EQ(1, CurrentTable().mode);
}

TEST_F(ServiceVariant, Control128StopsWithExitZeroAndTheDriverKeepsItsTable)
{
    ASSERT_TRUE(Running(Scenario("1")));
    ASSERT_TRUE(UnknownStickBlocked());
    runningScenario_.clear();
    const ProgramRun control = RunProgram(L"\"" + WindowsPath(QEVRIN_SCM_CONTROL) + L"\" QEVRINs 128");
    EXPECT_EQ(0u, control.exitCode) << control.output;
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_->WaitForState(SERVICE_STOPPED, 60000, status));
    EXPECT_EQ(0u, status.dwWin32ExitCode);
    const std::string report = ReadText(session_->Beside(L"QEVRINs.testbed-stopped.txt"));
    EXPECT_EQ(0u, report.find("exit 0 specific 0\n")) << report;
    const DriverTable table = ParseTable(report);
    EXPECT_EQ(1, table.mode) << report;
    EXPECT_EQ("0", table.states.at('E')) << report;
    EXPECT_EQ("2", table.states.at('F')) << report;
    EXPECT_EQ("1", table.states.at('H')) << report;
}

TEST_F(ServiceVariant, PeriodicPassRunsOnTheTimeScale)
{
    ASSERT_TRUE(Running(Scenario("20"), true));
    // Neither a volume event nor a device event: only the pass every 60 s / 20 finds it.
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown quiet"));
    std::string seen;
    EXPECT_TRUE(WaitForRule('H', "1", seen, 15000)) << seen;
    Stop();
}

TEST_F(ServiceVariant, WithoutTheDriverTheStartFailsWithANonZeroExitCode)
{
    Stop();
    // The driver check's 60 s of retries pass in 3 s on the time scale.
    session_->RewriteScenario(Scenario("20", false));
    DeleteFileW(session_->Beside(L"QEVRINs.testbed-stopped.txt").c_str());
    session_->NetStart();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_->WaitForState(SERVICE_STOPPED, 60000, status));
    EXPECT_NE(0u, status.dwWin32ExitCode);
    const std::string report = ReadText(session_->Beside(L"QEVRINs.testbed-stopped.txt"));
    EXPECT_EQ(0u, report.find("exit " + std::to_string(status.dwWin32ExitCode))) << report;
}

TEST_F(ServiceVariant, BadScenarioKeepsTheProgramFromRunning)
{
    Stop();
    session_->RewriteScenario(DefaultScenario() + "stick broken on=usb port=9 vid=1 pid=1\n");
    const ProgramRun started = session_->NetStart();
    EXPECT_NE(0u, started.exitCode) << started.output;
    SERVICE_STATUS status = {};
    EXPECT_TRUE(session_->WaitForState(SERVICE_STOPPED, 30000, status));
    EXPECT_NE(std::string::npos, ReadText(session_->Beside(L"QEVRINs.testbed.log")).find("port 9 is beyond"));
}

}  // namespace
}  // namespace scmtest
