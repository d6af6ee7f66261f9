// The variant's runtime in the test's own process: the scenario becomes the simulated PC, the
// control pipe plugs sticks and runs file requests on the kernel stand-in, the driver's volume
// event reaches the real Win32 event, and a bad scenario stops the variant with its reason.
#include "testbed/machine/ClassInstaller.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/SessionProgramRuntime.h"
#include "testbed/variant/TimeScale.h"
#include "testbed/variant/VariantRuntime.h"

#include <dbt.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace testbed {
namespace variant {
namespace {

const char kWorkstation[] =
    "windows 6.1\n"
    "time-scale 20\n"
    "system-disk system id=\"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000\" volumes=C,-\n"
    "data-disk data id=\"SCSI\\DISK&VEN_ATA&PROD_DATA\\4&1A&0&010000\" volumes=D\n"
    "controller usb\n"
    "stick full on=usb port=1 vid=0781 pid=5567 manufacturer=\"SanDisk\" product=\"Cruzer\" serial=\"FULL01\" volumes=E\n"
    "stick unknown on=usb port=3 vid=090C pid=1000 serial=\"UNKNOWN03\" volumes=H unplugged\n";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring BesideTheTest(const wchar_t* suffix)
{
    WCHAR program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path(program, length);
    return path.substr(0, path.rfind(L'.')) + suffix;
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(Narrow(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Runtime : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"qevrin-runtime-test.scenario";
        SetEnvironmentVariableW(L"QEVRIN_TESTBED_SCENARIO", path_.c_str());
    }

    void TearDown() override
    {
        runtime_.reset();
        SetTimeScale(1);
        SetEnvironmentVariableW(L"QEVRIN_TESTBED_SCENARIO", nullptr);
        DeleteFileW(path_.c_str());
    }

    void Start(const std::string& scenario)
    {
        std::ofstream(Narrow(path_), std::ios::binary) << scenario;
        runtime_ = VariantRuntime::Start();
    }

    std::wstring path_;
    std::unique_ptr<VariantRuntime> runtime_;
};

TEST_F(Runtime, PlugsAndUnplugsSticksByName)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    EXPECT_EQ("ok", ControlRequestOnce("ping"));
    EXPECT_EQ("error no volume H:", ControlRequestOnce("file 4321 H create a.txt"));
    EXPECT_EQ("ok", ControlRequestOnce("plug unknown"));
    EXPECT_EQ("error stick 'unknown' is plugged already", ControlRequestOnce("plug unknown"));
    EXPECT_EQ("error no device named 'nosuch' in the scenario", ControlRequestOnce("plug nosuch"));
    EXPECT_EQ("ok status 0x00000000 win32 0", ControlRequestOnce("file 4321 H create a.txt"));
    EXPECT_EQ("ok", ControlRequestOnce("unplug unknown"));
    EXPECT_EQ("error stick 'unknown' is not plugged", ControlRequestOnce("unplug unknown"));
    EXPECT_EQ("error no volume H:", ControlRequestOnce("file 4321 H create a.txt"));
}

TEST_F(Runtime, FileRequestsReachTheVolumeAsTheProcess)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    ControlClient client;
    std::string error;
    ASSERT_TRUE(client.Connect(5000, error)) << error;
    const struct {
        const char* request;
        const char* reply;
    } steps[] = {
        {"file 4321 E write note.txt hello", "ok status 0x00000000 win32 0"},
        {"file 4321 E read note.txt", "ok status 0x00000000 win32 0 data hello"},
        {"file 4321 E rename note.txt kept.txt", "ok status 0x00000000 win32 0"},
        {"file 4321 E read note.txt", "ok status 0xC0000034 win32 2"},
        {"file 4321 E read kept.txt", "ok status 0x00000000 win32 0 data hello"},
        {"file 4321 E create kept.txt", "ok status 0xC0000035 win32 31"},
        {"file 4321 Q create x", "error no volume Q:"},
        {"file 4321 E delete x", "error the file step must be create, write, read or rename"},
    };
    // Several requests on one connection, answered in order.
    for (const auto& step : steps) {
        std::string reply;
        ASSERT_TRUE(client.Request(step.request, reply, error)) << error;
        EXPECT_EQ(step.reply, reply) << step.request;
    }
}

TEST_F(Runtime, RulesListEveryVolumeOfTheMachine)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    const std::string rules = ControlRequestOnce("rules");
    EXPECT_EQ(0u, rules.find("ok mode 0\n")) << rules;
    for (const char* volume : {"volume C \\Device\\HarddiskVolume1 none", "volume - \\Device\\HarddiskVolume2 none",
                               "volume D \\Device\\HarddiskVolume3 none", "volume E \\Device\\HarddiskVolume4 none"})
        EXPECT_NE(std::string::npos, rules.find(volume)) << volume << " in " << rules;
    EXPECT_EQ("ok", ControlRequestOnce("launches"));
    EXPECT_EQ("ok", ControlRequestOnce("actions"));
}

TEST_F(Runtime, PortableDevicesComeAndGoKeepingTheirDisableFlag)
{
    Start(std::string(kWorkstation) +
          "portable phone friendly=\"Galaxy S7\"\nportable camera disabled\nportable player unplugged\n");
    ASSERT_NE(nullptr, runtime_);
    const std::string keys = "{eec5ad98-8080-425f-922a-dabf3de3f69a}\\000";
    EXPECT_EQ("ok\nphone " + keys + "0 enabled present\ncamera " + keys + "1 disabled present\nplayer " + keys +
                  "2 enabled absent",
              ControlRequestOnce("devices"));
    EXPECT_EQ("ok", ControlRequestOnce("plug player"));
    EXPECT_EQ("error portable device 'player' is plugged already", ControlRequestOnce("plug player"));
    EXPECT_EQ("ok", ControlRequestOnce("unplug camera"));
    EXPECT_EQ("error portable device 'camera' is not plugged", ControlRequestOnce("unplug camera"));
    EXPECT_EQ("ok\nphone " + keys + "0 enabled present\ncamera " + keys + "1 disabled absent\nplayer " + keys +
                  "2 enabled present",
              ControlRequestOnce("devices"));
    EXPECT_EQ("ok", ControlRequestOnce("plug camera"));
    EXPECT_NE(std::string::npos, ControlRequestOnce("devices").find("camera " + keys + "1 disabled present"));
    // The class installer has not been asked anything.
    EXPECT_EQ("ok", ControlRequestOnce("actions"));
}

TEST_F(Runtime, StartsInASessionAreReportedWithTheirNamesAndErrors)
{
    Start(std::string(kWorkstation) + "session 2 user=bob\nsession 1 user=alice console\nsession 3\npipe-not-connected 1\n");
    ASSERT_NE(nullptr, runtime_);
    EXPECT_EQ(1u, WTSGetActiveConsoleSessionId());
    HANDLE token = nullptr;
    EXPECT_FALSE(WTSQueryUserToken(3, &token));
    ASSERT_TRUE(WTSQueryUserToken(1, &token));
    const wchar_t application[] = L"C:\\No Such Folder\\prog.exe";
    for (int attempt = 0; attempt < 2; ++attempt) {
        wchar_t commandLine[] = L"\"C:\\No Such Folder\\prog.exe\" E";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        // The first start meets the injected failure, the second really runs and finds no program.
        EXPECT_FALSE(CreateProcessAsUserW(token, application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &info));
    }
    CloseHandle(token);
    EXPECT_EQ("ok\n"
              "1\tWORKSTATION\\alice\t233\t0\tC:\\No Such Folder\\prog.exe\t\"C:\\No Such Folder\\prog.exe\" E\t0x00002000\tprimary\n"
              "1\tWORKSTATION\\alice\t3\t0\tC:\\No Such Folder\\prog.exe\t\"C:\\No Such Folder\\prog.exe\" E\t0x00002000\tprimary",
              ControlRequestOnce("launches"));
}

TEST_F(Runtime, PluggedStickSetsTheRealVolumeEvent)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, L"{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
    ASSERT_TRUE(event.IsValid());
    // The volumes mounted at start signalled it already; let that pass first.
    WaitForSingleObject(event.Get(), 2000);
    Sleep(100);
    ResetEvent(event.Get());
    ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event.Get(), 200));
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event.Get(), 10000));
}

TEST_F(Runtime, QuietlyPluggedStickSignalsOnlyOnFirstUse)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, L"{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
    ASSERT_TRUE(event.IsValid());
    WaitForSingleObject(event.Get(), 2000);
    Sleep(100);
    ResetEvent(event.Get());
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown quiet"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event.Get(), 300));
    EXPECT_EQ("ok status 0x00000000 win32 0", ControlRequestOnce("file 4321 H create a.txt"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event.Get(), 10000));
}

TEST_F(Runtime, ReservedControlsNameTheLastStickThatCame)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    ASSERT_EQ("ok", ControlRequestOnce("plug unknown"));
    TranslatedControl translated;
    ASSERT_TRUE(runtime_->Translate(200, translated));
    const auto* broadcast = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(translated.Data());
    ASSERT_NE(nullptr, broadcast);
    const std::wstring name = broadcast->dbcc_name;
    EXPECT_EQ(0u, name.find(L"\\\\?\\STORAGE#VOLUME#")) << Narrow(name);
    ASSERT_TRUE(runtime_->Translate(202, translated));
    const auto* disk = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(translated.Data());
    EXPECT_NE(std::wstring::npos, std::wstring(disk->dbcc_name).find(L"UNKNOWN03")) << Narrow(disk->dbcc_name);
}

TEST_F(Runtime, ScenarioWithoutTheDriverHasNoControlDevice)
{
    Start(std::string(kWorkstation) + "driver absent\n");
    ASSERT_NE(nullptr, runtime_);
    HANDLE driver = CreateFileW(L"\\\\.\\QEVRINd", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, driver);
    if (driver != INVALID_HANDLE_VALUE)
        CloseHandle(driver);
    EXPECT_EQ("error the scenario has no driver", ControlRequestOnce("rules"));
}

// On an x64 Windows the class installer serves a native program and refuses a 32-bit one, and
// the actions reply shows which it was.
TEST_F(Runtime, X64ScenarioRefusesTheClassInstallerToA32BitProgram)
{
    std::string scenario = std::string(kWorkstation) + "portable phone\n";
    scenario.replace(scenario.find("windows 6.1"), 11, "windows 6.1 64-bit");
    Start(scenario);
    ASSERT_NE(nullptr, runtime_);
    HDEVINFO set = SetupDiGetClassDevsW(&kPortableDeviceClass, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = DICS_DISABLE;
    params.Scope = DICS_FLAG_CONFIGSPECIFIC;
    ASSERT_TRUE(SetupDiSetClassInstallParamsW(set, &device, &params.ClassInstallHeader, sizeof(params)));
    const BOOL called = SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, &device);
    const DWORD error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
#ifdef _WIN64
    EXPECT_TRUE(called);
    EXPECT_EQ("ok\nphone disable config-specific ok", ControlRequestOnce("actions"));
#else
    EXPECT_FALSE(called);
    EXPECT_EQ(DWORD(ERROR_IN_WOW64), error);
    EXPECT_EQ("ok\nphone disable config-specific failed", ControlRequestOnce("actions"));
#endif
    (void)error;
}

TEST_F(Runtime, BadScenarioStopsTheVariantWithItsReason)
{
    Start(std::string(kWorkstation) + "stick broken on=usb port=9 vid=1 pid=1\n");
    EXPECT_EQ(nullptr, runtime_);
    EXPECT_EQ(nullptr, VariantRuntime::Current());
    const std::string text = ReadAll(BesideTheTest(L".testbed.log"));
    EXPECT_NE(std::string::npos, text.find("line 8: port 9 is beyond the 4 ports of 'usb'")) << text;
}

TEST_F(Runtime, OversizedRequestIsRefusedAndTheConnectionGoesOn)
{
    Start(kWorkstation);
    ASSERT_NE(nullptr, runtime_);
    ControlClient client;
    std::string error;
    std::string reply;
    ASSERT_TRUE(client.Connect(5000, error)) << error;
    ASSERT_TRUE(client.Request(std::string(5000, 'x'), reply, error)) << error;
    EXPECT_EQ("error request longer than 1024 bytes", reply);
    ASSERT_TRUE(client.Request("ping", reply, error)) << error;
    EXPECT_EQ("ok", reply);
}

TEST_F(Runtime, SessionProgramRecordsWhatItToldTheShellWhenItEnds)
{
    const std::wstring record = BesideTheTest(L".testbed-shell.txt");
    DeleteFileW(record.c_str());
    std::ofstream(Narrow(path_), std::ios::binary) << kWorkstation;
    std::unique_ptr<SessionProgramRuntime> runtime = SessionProgramRuntime::Start();
    ASSERT_NE(nullptr, runtime);
    // The service's variant owns the driver and the control pipe.
    EXPECT_EQ("error cannot connect", ControlRequestOnce("ping", 200).substr(0, 20));
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeW(L"E:\\"));
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 0x10;
    BroadcastSystemMessageW(BSF_POSTMESSAGE, nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume));
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, L"E:\\", nullptr);
    EXPECT_EQ("", ReadAll(record));
    runtime.reset();
    const std::string process = std::to_string(GetCurrentProcessId());
    EXPECT_EQ(process + " broadcast 0x00000219 0x00008000 volume 0x00000010\r\n" + process +
                  " notify 0x00001000 0x00000005 E:\\\r\n",
              ReadAll(record));
    DeleteFileW(record.c_str());
}

TEST(TimeScale, PeriodsShrinkButNeverToNothing)
{
    SetTimeScale(20);
    EXPECT_EQ(3000u, Scaled(60000));
    EXPECT_EQ(1u, Scaled(5));
    EXPECT_EQ(0u, Scaled(0));
    EXPECT_EQ(INFINITE, Scaled(INFINITE));
    SetTimeScale(1);
    EXPECT_EQ(60000u, Scaled(60000));
}

}  // namespace
}  // namespace variant
}  // namespace testbed
