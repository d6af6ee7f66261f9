// The service core and its workers in one process on the simulated PC: the pipe server on the
// service's pipe, the enforcement thread with the filter driver on the kernel stand-in behind
// "\\.\QEVRINd", and the volume-event thread on the service's named event. The setting is
// stored through the core store, as the setting tool stores it.
#include "core/pipe/ServiceCommandClient.h"
#include "core/tests/store_test_support.h"
#include "service/core/ServiceCore.h"
#include "service/driver/DriverControl.h"
#include "service/enforcement/QuelmarThread.h"
#include "service/enforcement/ThreadMessages.h"
#include "service/enforcement/ThreadRequest.h"
#include "service/events/CEventWaitThread.h"
#include "service/tests/DecisionValues.h"
#include "testbed/bridge/KernelBridge.h"
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Sessions.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace servicetest {
namespace {

using namespace Quelmar;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Windows on C:, a whitelisted stick E: and an unknown stick H:.
struct OfficePc {
    testbed::Machine pc;
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    testbed::Volume& windows = pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED);
    testbed::UsbHub& hub = pc.AddHostController().RootHub();
    testbed::UsbDevice& knownStick = hub.Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"FULL01"));
    testbed::Volume& known = pc.AddVolume(knownStick.Disk(), L'E');
    testbed::UsbDevice& unknownStick =
        hub.Plug(2, testbed::UsbStick(0x090C, 0x1000, L"Generic", L"Flash", L"UNKNOWN02"));
    testbed::Volume& unknown = pc.AddVolume(unknownStick.Disk(), L'H');

    OfficePc()
    {
        pc.windowsFolder = L"C:\\Windows";
        pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
    }
};

SettingV3 OfficeSetting(int control)
{
    SettingV3 setting;
    SettingStore::SetDefaultSettings(setting);
    setting.usbControlEnabled = control;
    setting.outsidePolicy = 1;
    setting.blockInternalSd = 0;
    WhitelistEntry known = Entry(0x0781, 0x5567, _T("FULL01"), UseVendor | UseProduct | UseSerial, 0);
    known.serialNumber = _T("FULL01");
    setting.whitelist = {known};
    return setting;
}

// Polls the condition until it holds or the deadline passes.
bool Eventually(const std::function<bool()>& condition, DWORD limit = 10000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limit)
            return false;
        Sleep(10);
    }
    return true;
}

class ServiceCoreTest : public CleanProductState {
protected:
    void SetUp() override
    {
        CleanProductState::SetUp();
        bridge_.reset(new testbed::KernelBridge(pc_.pc));
        ASSERT_TRUE(bridge_->Kernel().FilterLoaded());
        core_ = ServiceCore::CreateInstance();
        ASSERT_NE(nullptr, core_);
    }

    void TearDown() override
    {
        if (ServiceCore::GetInstance() != nullptr) {
            ServiceCore::GetInstance()->Stop();
            ServiceCore::DeleteInstance();
        }
        DriverControl::DeleteInstance();
        for (const std::string& violation : bridge_->Kernel().Violations())
            ADD_FAILURE() << "kernel rule broken: " << violation;
        bridge_.reset();
        EXPECT_EQ(0u, pc_.pc.OpenHandleCount());
        CleanProductState::TearDown();
    }

    void Store(const SettingV3& setting)
    {
        PasswordData password;
        SettingStore::SetDefaultPasswordData(password);
        ASSERT_EQ(1, SettingStore::SavePasswordData(password));
        ASSERT_EQ(1, SettingStore::SaveSettingFile(FileKeySource(StoreConstants::kFileKeyMaterial), setting));
    }

    int Rule(const testbed::Volume& volume)
    {
        int32_t state = -1;
        return bridge_->Kernel().DriverRule(volume.deviceName, &state) ? state : -1;
    }

    bool RuleBecomes(const testbed::Volume& volume, int state)
    {
        return Eventually([&] { return Rule(volume) == state; });
    }

    std::unique_ptr<ServiceCommandClient> Client()
    {
        std::unique_ptr<ServiceCommandClient> client(new ServiceCommandClient(20000));
        EXPECT_TRUE(client->ConnectWait(5000));
        return client;
    }

    OfficePc pc_;
    std::unique_ptr<testbed::KernelBridge> bridge_;
    ServiceCore* core_ = nullptr;
};

TEST_F(ServiceCoreTest, StartEnforcesTheStoredSettingAndStopLeavesTheTable)
{
    Store(OfficeSetting(1));
    ASSERT_TRUE(core_->CheckDriver());
    ASSERT_EQ(1, core_->Start());
    EXPECT_TRUE(core_->HasPipeServerThread());
    EXPECT_TRUE(core_->HasEnforcementThread());
    EXPECT_TRUE(core_->HasEventWaitThread());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    EXPECT_EQ(0, Rule(pc_.known));
    EXPECT_EQ(0, Rule(pc_.windows));

    std::unique_ptr<ServiceCommandClient> client = Client();
    LONG state = -7;
    EXPECT_EQ(1, client->GetDriveState(L'h', state));
    EXPECT_EQ(1, state);
    EXPECT_EQ(1, client->GetDriveState(L'E', state));
    EXPECT_EQ(0, state);
    EXPECT_EQ(0, client->GetDriveState(L'Q', state));
    // The tool's own exemption: the driver lets this process through while it lasts.
    EXPECT_EQ(1, client->AddExemptProcess(GetCurrentProcessId()));
    EXPECT_EQ(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, GetCurrentProcessId()).create);
    EXPECT_EQ(1, client->RemoveExemptProcess(GetCurrentProcessId()));
    EXPECT_NE(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, GetCurrentProcessId()).create);
    client->Close();

    core_->Stop();
    EXPECT_FALSE(core_->HasPipeServerThread());
    EXPECT_FALSE(core_->HasEnforcementThread());
    EXPECT_FALSE(core_->HasEventWaitThread());
    // The service is down, the driver still enforces its last table.
    EXPECT_EQ(1, bridge_->Kernel().DriverMode());
    EXPECT_EQ(1, Rule(pc_.unknown));
}

TEST_F(ServiceCoreTest, NothingStoredMeansEveryStickIsBlocked)
{
    ASSERT_EQ(1, core_->Start());
    EXPECT_TRUE(RuleBecomes(pc_.unknown, 1));
    EXPECT_TRUE(RuleBecomes(pc_.known, 1));
    EXPECT_EQ(0, Rule(pc_.windows));
}

TEST_F(ServiceCoreTest, ReloadFollowsTheControlSwitchBothWays)
{
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));

    Store(OfficeSetting(0));
    std::unique_ptr<ServiceCommandClient> client = Client();
    // The reply comes after the workers were adjusted.
    ASSERT_EQ(1, client->RequestReloadSettings());
    EXPECT_FALSE(core_->HasEnforcementThread());
    EXPECT_EQ(0, bridge_->Kernel().DriverMode());
    EXPECT_EQ(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, 4321).create);
    EXPECT_EQ(0, client->AddExemptProcess(GetCurrentProcessId()));
    LONG state = -7;
    EXPECT_EQ(0, client->GetDriveState(L'h', state));
    EXPECT_EQ(-7, state);

    Store(OfficeSetting(1));
    ASSERT_EQ(1, client->RequestReloadSettings());
    EXPECT_TRUE(core_->HasEnforcementThread());
    EXPECT_TRUE(RuleBecomes(pc_.unknown, 1));
}

TEST_F(ServiceCoreTest, DriverCheckIsRefusedOnceTheWorkersRun)
{
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    EXPECT_FALSE(core_->CheckDriver());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), GetLastError());
    // The enforcement thread kept its handle: it still answers.
    std::unique_ptr<ServiceCommandClient> client = Client();
    EXPECT_EQ(1, client->AddExemptProcess(GetCurrentProcessId()));
    EXPECT_EQ(1, client->RemoveExemptProcess(GetCurrentProcessId()));
}

TEST_F(ServiceCoreTest, EnforcementThatCouldNotStartIsRetriedAtTheNextDeviceEvent)
{
    Store(OfficeSetting(0));
    ASSERT_EQ(1, core_->Start());
    EXPECT_FALSE(core_->HasEnforcementThread());
    // Another program holds the driver's one handle while the setting switches control on.
    HANDLE held = CreateFileW(L"\\\\.\\QEVRINd", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Store(OfficeSetting(1));
    core_->ReloadSettings();
    EXPECT_FALSE(core_->HasEnforcementThread());
    CloseHandle(held);

    core_->OnDeviceEvent();
    EXPECT_TRUE(core_->HasEnforcementThread());
    EXPECT_TRUE(RuleBecomes(pc_.unknown, 1));
}

TEST_F(ServiceCoreTest, VolumeEventAloneRulesANewStick)
{
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    // Let the first passes settle before the PC changes under them.
    Sleep(200);
    testbed::UsbDevice& late = pc_.hub.Plug(3, testbed::UsbStick(0x1234, 0x5678, L"Other", L"Stick", L"LATE03"));
    testbed::Volume& lateVolume = pc_.pc.AddVolume(late.Disk(), L'J');
    bridge_->AddKernelVolume(lateVolume);
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, QUELMAR_VOLUME_EVENT_NAME);
    ASSERT_NE(nullptr, event);
    SetEvent(event);
    CloseHandle(event);
    EXPECT_TRUE(RuleBecomes(lateVolume, 1)) << Narrow(lateVolume.deviceName);
}

TEST_F(ServiceCoreTest, StopEndsTheServerUnderASilentClientWithoutTerminatingIt)
{
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    std::unique_ptr<ServiceCommandClient> client = Client();
    Sleep(50);
    core_->Stop();
    EXPECT_FALSE(core_->HasPipeServerThread());
    // The server closed its own instance, which a terminated thread never does.
    HANDLE again = CreateNamedPipeW(QUELMAR_SERVICE_PIPE_NAME, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 1024, 1024, 0,
                                    nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
}

// The enforcement thread alone, started and stopped as the core does it.
class EnforcementThreadTest : public ServiceCoreTest {
protected:
    void StartThread()
    {
        Store(OfficeSetting(1));
        core_->LoadSettings();
        thread_ = StartQuelmarThread();
        ASSERT_NE(nullptr, thread_);
        ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    }
    QuelmarThread* thread_ = nullptr;
};

TEST_F(EnforcementThreadTest, DriveQueryIgnoresCaseAndAnswersFromTheLastPass)
{
    StartThread();
    const struct {
        WCHAR letter;
        LONG found;
        LONG state;
    } cases[] = {{L'h', 1, 1}, {L'H', 1, 1}, {L'e', 1, 0}, {L'c', 1, 0}, {L'z', 0, -7}};
    for (const auto& c : cases) {
        LONG state = -7;
        EXPECT_EQ(c.found, thread_->RequestQueryDriveState(c.letter, state)) << char(c.letter);
        EXPECT_EQ(c.state, state) << char(c.letter);
    }
    StopQuelmarThread(thread_, 0);
}

TEST_F(EnforcementThreadTest, StopWithReleaseSwitchesTheDriverOffAndWithoutKeepsTheTable)
{
    StartThread();
    StopQuelmarThread(thread_, 0);
    EXPECT_EQ(1, bridge_->Kernel().DriverMode());
    EXPECT_EQ(1, Rule(pc_.unknown));

    StartThread();
    StopQuelmarThread(thread_, 1);
    EXPECT_EQ(0, bridge_->Kernel().DriverMode());
    EXPECT_EQ(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, 4321).create);
    // The handle was given back: the next start can open the driver again.
    EXPECT_FALSE(DriverControl::GetInstance()->IsOpen());
}

TEST_F(EnforcementThreadTest, StopWithReleaseShowsTheFreedStickToTheConsoleUser)
{
    pc_.pc.SetWindowsVersion(6, 2);
    testbed::UserSessions& sessions = pc_.pc.Sessions();
    sessions.AddSession(1, &sessions.AddUser(L"OFFICE", L"alice"));
    sessions.SetConsoleSession(1);

    StartThread();
    // A stick that became blocked is neither restarted nor remounted while the table holds.
    EXPECT_EQ(0u, pc_.pc.Installer().ActionCount());
    EXPECT_TRUE(sessions.Launches().empty());

    StopQuelmarThread(thread_, 1);
    std::vector<testbed::InstallerAction> actions = pc_.pc.Installer().Actions(*pc_.unknown.node);
    ASSERT_EQ(1u, actions.size());
    EXPECT_EQ(DWORD(DICS_PROPCHANGE), actions[0].stateChange);
    EXPECT_EQ(1u, pc_.pc.Installer().ActionCount());
    std::vector<testbed::Launch> launches = sessions.Launches();
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" H", launches[0].commandLine);
}

TEST_F(EnforcementThreadTest, DeviceEventRulesAPluggedStick)
{
    StartThread();
    Sleep(200);
    testbed::UsbDevice& late = pc_.hub.Plug(3, testbed::UsbStick(0x1234, 0x5678, L"Other", L"Stick", L"LATE03"));
    testbed::Volume& lateVolume = pc_.pc.AddVolume(late.Disk(), L'J');
    bridge_->AddKernelVolume(lateVolume);
    for (int i = 0; i < 10; ++i)
        thread_->PostThreadMessage(WM_APP_DEVICE_EVENT, 0, 0);
    EXPECT_TRUE(RuleBecomes(lateVolume, 1));
    LONG state = -7;
    EXPECT_EQ(1, thread_->RequestQueryDriveState(L'j', state));
    EXPECT_EQ(1, state);
    StopQuelmarThread(thread_, 0);
}

TEST_F(EnforcementThreadTest, RequestsQueuedWhenTheThreadEndsAreAnswered)
{
    Store(OfficeSetting(1));
    core_->LoadSettings();
    ASSERT_TRUE(DriverControl::GetInstance()->Open(1000));
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(QuelmarThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, started);
    // The quit is queued ahead of the request: the loop ends before it reaches it.
    started->PostThreadMessage(WM_QUIT, 0, 0);
    ThreadRequest* request = ThreadRequest::Create();
    ASSERT_NE(nullptr, request);
    request->processId = GetCurrentProcessId();
    EXPECT_FALSE(request->PostAndWait(started->m_nThreadID, WM_APP_ADD_EXEMPT_PROCESS, 0));
    started->ResumeThread();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started->m_hThread, 10000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(request->Event(), 0));
    EXPECT_EQ(0, request->result);
    request->Release();
    delete started;
}

TEST(ServiceFolder, LongInstallPathIsNeverCut)
{
    testbed::Machine pc;
    const std::wstring folder = L"D:\\" + std::wstring(600, L'q') + L"\\QEVRIN";
    pc.programFile = folder + L"\\QEVRINs.exe";
    EXPECT_EQ(folder, std::wstring(GetModuleFolderPath().GetString()));
}

TEST(ThreadRequest, AnswerAfterTheRequesterGaveUpFindsTheBlockAlive)
{
    ThreadRequest* request = ThreadRequest::Create();
    ASSERT_NE(nullptr, request);
    // A thread that takes its time: the requester's wait ends first.
    struct Slow {
        static DWORD WINAPI Run(LPVOID)
        {
            MSG msg;
            PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_APP_ADD_EXEMPT_PROCESS) {
            }
            Sleep(200);
            ThreadRequest* answered = reinterpret_cast<ThreadRequest*>(msg.wParam);
            answered->result = 1;
            answered->Complete();
            answered->Release();
            return 0;
        }
    };
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &Slow::Run, nullptr, 0, &threadId);
    ASSERT_NE(nullptr, thread);
    while (!PostThreadMessageW(threadId, WM_NULL, 0, 0))
        Sleep(1);
    EXPECT_FALSE(request->PostAndWait(threadId, WM_APP_ADD_EXEMPT_PROCESS, 10));
    request->Release();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
}

}  // namespace
}  // namespace servicetest
