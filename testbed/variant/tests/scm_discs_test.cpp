// CD/DVD writing blocked, end to end: the service's test variant under Wine's service control
// manager with CD blocking on. On a simulated Windows 10 with users in sessions, the ejector
// watch starts one ejector per Explorer user, a logon starts one in its session, and a logoff
// sets the Explorer burning policy after keeping the old value; Windows 2000 touches neither.
// On Windows XP the disc-recorder lock holds every idle recorder through the first
// generation's disc master. Each test installs, starts and stops the service itself.
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "service/discs/CdBurningPolicy.h"
#include "service/discs/CdBurningStateFile.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/ControlReplies.h"
#include "testbed/variant/drive/ScmSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace scmtest {
namespace {

using testbed::variant::ControlRequestOnce;
using testbed::variant::WaitUntil;

const wchar_t kEjector[] = L"C:\\Program Files\\QEVRIN\\QEVRINcde.exe";
const wchar_t kStateFile[] = L"C:\\Program Files\\QEVRIN\\CDBurning.dat";

// The workstation of the other end-to-end tests on another Windows version, with more lines.
std::string Scenario(const std::string& windows, const std::string& more)
{
    std::string scenario = ReadText(WindowsPath(QEVRIN_DEFAULT_SCENARIO));
    scenario.replace(scenario.find("windows 6.1"), 11, "windows " + windows);
    return scenario + more;
}

bool StoreSetting(bool blockCdWriting)
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = 0;
    setting.blockCdWriting = blockCdWriting ? 1 : 0;
    setting.blockInternalSd = 0;
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    return Quelmar::SettingStore::SavePasswordData(Quelmar::PasswordData()) &&
           Quelmar::SettingStore::SaveSettingFile(keys, setting);
}

// The policy value, -1 when there is none.
long long PolicyValue()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, CdBurningPolicy::kPolicyValue, RRF_RT_ANY, &type,
                     &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return value;
}

void SetPolicyValue(long long value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    if (value < 0) {
        RegDeleteValueW(key, CdBurningPolicy::kPolicyValue);
    } else {
        const DWORD data = static_cast<DWORD>(value);
        RegSetValueExW(key, CdBurningPolicy::kPolicyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    RegCloseKey(key);
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

struct Launch {
    std::string session;
    std::string user;
    std::string error;
    std::string program;  // the application name and the command line
    std::string integrity;
    std::string token;
};

// The starts in a session: tab-separated session, user, error, process, application name,
// command line, integrity level and token type.
std::vector<Launch> Launches()
{
    std::vector<Launch> launches;
    std::istringstream reply(ControlRequestOnce("launches"));
    std::string line;
    std::getline(reply, line);  // "ok"
    while (std::getline(reply, line)) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        std::string field;
        while (std::getline(in, field, '\t'))
            fields.push_back(field);
        if (fields.size() == 8)
            launches.push_back({fields[0], fields[1], fields[2], fields[4] + " " + fields[5], fields[6], fields[7]});
        else
            ADD_FAILURE() << "launch line: " << line;
    }
    return launches;
}

// Who holds each recorder ("service", "other" or "none"), from a discs report.
std::map<std::string, std::string> Holders(const std::string& report)
{
    std::map<std::string, std::string> holders;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, name, letter, key, media, ejected, attempts, holder;
        words >> first >> name >> letter >> key >> media >> key >> ejected >> key >> attempts >> key >> holder;
        if (first == "recorder")
            holders[name] = holder;
    }
    return holders;
}

class ServiceDiscs : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_.Remove();
        DeleteFileW(kEjector);
        DeleteFileW(kStateFile);
    }

    void TearDown() override
    {
        session_.Remove();
        DeleteFileW(kEjector);
        DeleteFileW(kStateFile);
        SetPolicyValue(-1);
    }

    // Installed, with the ejector beside the service when asked, and running.
    void Start(const std::string& scenario, bool withEjector = false)
    {
        std::string error;
        ASSERT_TRUE(session_.Install(WindowsPath(QEVRIN_VARIANT_PROGRAM), scenario, error)) << error;
        if (withEjector) {
            ASSERT_TRUE(session_.InstallProgram(WindowsPath(QEVRIN_EJECTOR_VARIANT), L"QEVRINcde.exe", error)) << error;
        }
        ASSERT_EQ(session_.Create().exitCode, 0u);
        const ProgramRun started = session_.NetStart();
        SERVICE_STATUS status = {};
        ASSERT_TRUE(session_.WaitForState(SERVICE_RUNNING, 60000, status))
            << started.output << ReadText(session_.Beside(L"QEVRINs.testbed.log"));
    }

    void Control(DWORD code)
    {
        SERVICE_STATUS status = {};
        ASSERT_TRUE(session_.Control(code, status)) << code;
    }

    // Control 128, and the report the variant left when the service said it had stopped.
    std::string Stop()
    {
        SERVICE_STATUS status = {};
        EXPECT_TRUE(session_.Control(128, status));
        EXPECT_TRUE(session_.WaitForState(SERVICE_STOPPED, 60000, status));
        EXPECT_EQ(status.dwWin32ExitCode, 0u);
        return ReadText(session_.Beside(L"QEVRINs.testbed-stopped.txt"));
    }

    ScmSession session_;
};

size_t EjectorsStartedIn(const std::vector<Launch>& launches, const std::string& session)
{
    size_t count = 0;
    for (const Launch& launch : launches)
        if (launch.session == session && launch.program.find("QEVRINcde.exe") != std::string::npos)
            ++count;
    return count;
}

TEST_F(ServiceDiscs, EjectorsForEveryExplorerUserAndThePolicyAtLogoffOnWindows10)
{
    ASSERT_TRUE(StoreSetting(true));
    SetPolicyValue(0);
    Start(Scenario("10.0",
                   "session 1 user=alice console\n"
                   "session 2 user=bob\n"
                   "session 3 user=carol\n"
                   "process session=1 image=\"C:\\Windows\\explorer.exe\"\n"
                   "process session=2 image=\"C:\\Windows\\explorer.exe\"\n"
                   "session-programs simulated\n"),
          true);

    // At start: one ejector for each Explorer user, with that user's token raised to high.
    ASSERT_TRUE(WaitUntil([] { return Launches().size() >= 2; })) << ControlRequestOnce("launches");
    std::vector<Launch> launches = Launches();
    ASSERT_EQ(launches.size(), 2u) << ControlRequestOnce("launches");
    std::map<std::string, std::string> users;
    for (const Launch& launch : launches) {
        users[launch.session] = launch.user;
        EXPECT_EQ(launch.integrity, "0x00003000") << launch.session;
        EXPECT_EQ(launch.token, "primary") << launch.session;
        EXPECT_EQ(launch.error, "0") << launch.session;
        EXPECT_NE(launch.program.find("QEVRINcde.exe"), std::string::npos) << launch.program;
    }
    EXPECT_EQ(users, (std::map<std::string, std::string>{{"1", "WORKSTATION\\alice"}, {"2", "WORKSTATION\\bob"}}));
    // Several 15 s checks (0.75 s at this time scale) find both ejectors running.
    Sleep(3000);
    EXPECT_EQ(Launches().size(), 2u) << ControlRequestOnce("launches");
    // Nothing writes the policy before a logoff.
    EXPECT_EQ(PolicyValue(), 0);
    EXPECT_FALSE(Exists(kStateFile));

    // A logon in session 3 starts one there, raised to high as the watch raises its own.
    Control(208);
    ASSERT_TRUE(WaitUntil([] { return EjectorsStartedIn(Launches(), "3") == 1; })) << ControlRequestOnce("launches");
    launches = Launches();
    ASSERT_EQ(launches.size(), 3u);
    EXPECT_EQ(launches[2].integrity, "0x00003000");
    EXPECT_EQ(launches[2].user, "WORKSTATION\\carol");

    // A logoff with CD blocking on: the old value kept in the state file, then the policy on.
    Control(205);
    ASSERT_TRUE(WaitUntil([] { return PolicyValue() == 1; }));
    ASSERT_TRUE(Exists(kStateFile));
    const std::string kept = ReadText(kStateFile);
    {
        CdBurningStateFile file(kStateFile);
        std::vector<BYTE> payload;
        ASSERT_EQ(file.Load(payload), 1);
        EXPECT_EQ(payload, (std::vector<BYTE>{0, 0, 0, 0}));
    }

    // A second logoff with CD blocking off turns the policy off and leaves the file alone.
    ASSERT_TRUE(StoreSetting(false));
    Control(207);
    ASSERT_TRUE(WaitUntil([] { return PolicyValue() == 0; }));
    EXPECT_EQ(ReadText(kStateFile), kept);
    Stop();
}

TEST_F(ServiceDiscs, Windows2000LeavesThePolicyAndTheStateFileAlone)
{
    ASSERT_TRUE(StoreSetting(true));
    SetPolicyValue(-1);
    Start(Scenario("5.0", ""));
    Control(205);
    // The service handles its controls in order on one thread: once it has stopped, the logoff
    // before the stop has been handled.
    Stop();
    EXPECT_EQ(PolicyValue(), -1);
    EXPECT_FALSE(Exists(kStateFile));
}

TEST_F(ServiceDiscs, IdleRecordersHeldThroughTheDiscMasterOnWindowsXp)
{
    ASSERT_TRUE(StoreSetting(true));
    Start(Scenario("5.1",
                   "imapi v1\n"
                   "recorder dvd letter=R media=blank\n"
                   "recorder busy letter=S media=recorded held\n"
                   "recorder bare media=none\n"));
    const auto holders = [] { return Holders(ControlRequestOnce("discs")); };
    using Map = std::map<std::string, std::string>;
    EXPECT_TRUE(WaitUntil([&] { return holders() == Map{{"bare", "service"}, {"busy", "other"}, {"dvd", "service"}}; }))
        << ControlRequestOnce("discs");

    // The busy one is taken at a pass (every 5 s, 0.25 s here) once its program lets go.
    ASSERT_EQ(ControlRequestOnce("disc busy release"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return holders()["busy"] == "service"; })) << ControlRequestOnce("discs");

    // The disc master's server restarts: its holds end with it, and a new master takes them all.
    ASSERT_EQ(ControlRequestOnce("disc-master restart"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return holders() == Map{{"bare", "service"}, {"busy", "service"}, {"dvd", "service"}}; }))
        << ControlRequestOnce("discs");
    EXPECT_EQ(ControlRequestOnce("discs").find("ok server 2 "), 0u);

    // At stop every recorder is closed and every object of the disc master given back.
    const std::string report = Stop();
    EXPECT_EQ(Holders(report), (Map{{"bare", "none"}, {"busy", "none"}, {"dvd", "none"}})) << report;
    EXPECT_NE(report.find("live-objects 0 outstanding 0"), std::string::npos) << report;
    EXPECT_EQ(report.find("closes-without-open 1"), std::string::npos) << report;
}

}  // namespace
}  // namespace scmtest
