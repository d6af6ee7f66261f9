// The variant's machinery under Wine's real service control manager, with a small stand-in
// service as the program: installed at the product's path, started with net, driven through
// the control pipe and user-defined controls, stopped with 128, and refused to start without
// the driver.
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/tests/ScmSession.h"

#include <gtest/gtest.h>

#include <string>

namespace scmtest {
namespace {

using testbed::variant::ControlRequestOnce;

std::string DefaultScenario() { return ReadText(WindowsPath(QEVRIN_DEFAULT_SCENARIO)); }

class ScmStandin : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_.Remove();
        DeleteFileW(session_.Beside(L"standin-events.txt").c_str());
        std::string error;
        ASSERT_FALSE(DefaultScenario().empty()) << QEVRIN_DEFAULT_SCENARIO;
        ASSERT_TRUE(session_.Install(WindowsPath(QEVRIN_VARIANT_PROGRAM), DefaultScenario(), error)) << error;
        const ProgramRun created = session_.Create();
        ASSERT_TRUE(created.finished && created.exitCode == 0) << created.output;
    }

    void TearDown() override { session_.Remove(); }

    // Waits for a line in the stand-in's record of what reached it.
    bool EventRecorded(const std::string& line, DWORD timeoutMilliseconds = 10000)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
        while (ReadText(session_.Beside(L"standin-events.txt")).find(line) == std::string::npos) {
            if (GetTickCount64() >= deadline)
                return false;
            Sleep(50);
        }
        return true;
    }

    ScmSession session_;
};

TEST_F(ScmStandin, RunsUnderTheServiceControlManagerAndStopsOn128)
{
    const ProgramRun started = session_.NetStart();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_.WaitForState(SERVICE_RUNNING, 30000, status))
        << started.output << ReadText(session_.Beside(L"QEVRINs.testbed.log"));
    EXPECT_EQ("ok", ControlRequestOnce("ping"));

    const ProgramRun stop = session_.NetStop();
    EXPECT_NE(0u, stop.exitCode) << stop.output;
    ASSERT_TRUE(session_.Query(status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);

    // The helper sends the stop as a shell would.
    const ProgramRun control = RunProgram(L"\"" + WindowsPath(QEVRIN_SCM_CONTROL) + L"\" QEVRINs 128");
    EXPECT_EQ(0u, control.exitCode) << control.output;
    ASSERT_TRUE(session_.WaitForState(SERVICE_STOPPED, 20000, status));
    EXPECT_EQ(0u, status.dwWin32ExitCode);
    const std::string report = ReadText(session_.Beside(L"QEVRINs.testbed-stopped.txt"));
    EXPECT_EQ(0u, report.find("exit 0 specific 0\nok mode 0\n")) << report;
    EXPECT_NE(std::string::npos, report.find("volume E ")) << report;
}

TEST_F(ScmStandin, PluggedStickReachesTheProgramThroughTheRealVolumeEvent)
{
    session_.NetStart();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_.WaitForState(SERVICE_RUNNING, 30000, status));
    ASSERT_TRUE(EventRecorded("volume-event")) << "the boot mounts signal it once";
    DeleteFileW(session_.Beside(L"standin-events.txt").c_str());
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    EXPECT_TRUE(EventRecorded("volume-event"));
    EXPECT_EQ("ok status 0x00000000 win32 0", ControlRequestOnce("file 4321 H write a.txt x"));
}

TEST_F(ScmStandin, ReservedControlsArriveAsDeviceAndSessionEvents)
{
    session_.NetStart();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_.WaitForState(SERVICE_RUNNING, 30000, status));
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    ASSERT_TRUE(session_.Control(200, status));
    EXPECT_TRUE(EventRecorded("device-event 32768 \\\\?\\STORAGE#VOLUME#"));
    ASSERT_TRUE(session_.Control(203, status));
    EXPECT_TRUE(EventRecorded("device-event 32772 \\\\?\\USBSTOR#DISK"));
    ASSERT_TRUE(session_.Control(206, status));
    EXPECT_TRUE(EventRecorded("session 5 2"));
    ASSERT_TRUE(session_.Control(205, status));
    EXPECT_TRUE(EventRecorded("session 6 1"));
    // An unassigned testbed code never reaches the program.
    session_.Control(209, status);
    ASSERT_TRUE(session_.Control(150, status));
    EXPECT_TRUE(EventRecorded("control 150"));
    EXPECT_EQ(std::string::npos, ReadText(session_.Beside(L"standin-events.txt")).find("control 209"));
}

TEST_F(ScmStandin, WithoutTheDriverTheStartFailsWithAnExitCode)
{
    std::string scenario = DefaultScenario();
    scenario.replace(scenario.find("driver present"), 14, "driver absent");
    session_.RewriteScenario(scenario);
    session_.NetStart();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_.WaitForState(SERVICE_STOPPED, 30000, status));
    EXPECT_NE(0u, status.dwWin32ExitCode);
    const std::string report = ReadText(session_.Beside(L"QEVRINs.testbed-stopped.txt"));
    EXPECT_EQ(0u, report.find("exit " + std::to_string(status.dwWin32ExitCode))) << report;
}

TEST_F(ScmStandin, BadScenarioKeepsTheProgramFromRunning)
{
    session_.RewriteScenario(DefaultScenario() + "stick broken on=usb port=9 vid=1 pid=1\n");
    const ProgramRun started = session_.NetStart();
    EXPECT_NE(0u, started.exitCode) << started.output;
    SERVICE_STATUS status = {};
    EXPECT_TRUE(session_.WaitForState(SERVICE_STOPPED, 30000, status));
    EXPECT_NE(std::string::npos, ReadText(session_.Beside(L"QEVRINs.testbed.log")).find("port 9 is beyond"));
}

}  // namespace
}  // namespace scmtest
