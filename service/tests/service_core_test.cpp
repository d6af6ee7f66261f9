// The service core and its workers in one process on the simulated PC: the pipe server on the
// service's pipe, the enforcement thread with the filter driver on the kernel stand-in behind
// "\\.\QEVRINd", and the volume-event thread on the service's named event. The setting is
// stored through the core store, as the setting tool stores it.
#include "core/pipe/ServiceCommandClient.h"
#include "core/tests/event_that_cannot_be_made.h"
#include "core/tests/store_test_support.h"
#include "classlib/ScopedRegKey.h"
#include "service/core/ServiceCore.h"
#include "service/discs/CdBurningPolicy.h"
#include "service/driver/DriverControl.h"
#include "service/enforcement/QuelmarThread.h"
#include "service/enforcement/ThreadMessages.h"
#include "service/enforcement/ThreadRequest.h"
#include "service/events/CEventWaitThread.h"
#include "service/tests/DecisionValues.h"
#include "service/tests/freed_block_watch.h"
#include "testbed/bridge/KernelBridge.h"
#include "testbed/imapi/DiscSystem.h"
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Sessions.h"
#include "testbed/machine/interpose.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>

// A semaphore whose holder was lost, so that a bounded wait for it runs out and a wait without
// limit never ends.
namespace {

thread_local HANDLE lastOneOfOneSemaphoreHere = nullptr;
HANDLE WINAPI RecordingCreateSemaphoreW(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name)
{
    static auto real = testbed::RealFunction<decltype(&::CreateSemaphoreW)>(L"kernel32.dll", "CreateSemaphoreW");
    HANDLE semaphore = real(security, initial, maximum, name);
    if (name == nullptr && initial == 1 && maximum == 1)
        lastOneOfOneSemaphoreHere = semaphore;
    return semaphore;
}

std::atomic<HANDLE> lostSemaphore{nullptr};
std::atomic<DWORD> longestLostWait{0};
DWORD WINAPI LostHolderWaitForSingleObject(HANDLE handle, DWORD limit)
{
    static auto real = testbed::RealFunction<decltype(&::WaitForSingleObject)>(L"kernel32.dll", "WaitForSingleObject");
    if (handle != nullptr && handle == lostSemaphore.load()) {
        longestLostWait = limit > longestLostWait ? limit : longestLostWait.load();
        if (limit != INFINITE)
            return WAIT_TIMEOUT;
        while (handle == lostSemaphore.load())
            Sleep(10);
    }
    return real(handle, limit);
}

}  // namespace

TESTBED_INTERPOSE(CreateSemaphoreW, 16, RecordingCreateSemaphoreW)
TESTBED_INTERPOSE(WaitForSingleObject, 8, LostHolderWaitForSingleObject)

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

// Runs the work on a thread of its own; false when it has not ended by the deadline, after
// which the lost semaphore is given back so that the work can end and the test go on.
bool EndsInTime(const std::function<void()>& work)
{
    std::atomic<bool> ended{false};
    std::thread runner([&] {
        work();
        ended = true;
    });
    const bool inTime = Eventually([&] { return ended.load(); }, 30000);
    if (!inTime)
        lostSemaphore = nullptr;
    runner.join();
    return inTime;
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
        settingSemaphore_ = lastOneOfOneSemaphoreHere;
    }

    void TearDown() override
    {
        lostSemaphore = nullptr;
        failNextEventHere = false;
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

    // A stick plugged while the service runs, known to the kernel but to no pass yet.
    testbed::Volume& PlugLateStick(wchar_t letter)
    {
        const int port = letter - L'J' + 3;
        testbed::UsbDevice& late =
            pc_.hub.Plug(port, testbed::UsbStick(0x1234, 0x5678, L"Other", L"Stick", L"LATE0" + std::to_wstring(port)));
        testbed::Volume& volume = pc_.pc.AddVolume(late.Disk(), letter);
        bridge_->AddKernelVolume(volume);
        return volume;
    }

    OfficePc pc_;
    std::unique_ptr<testbed::KernelBridge> bridge_;
    ServiceCore* core_ = nullptr;
    HANDLE settingSemaphore_ = nullptr;
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

TEST_F(ServiceCoreTest, EnforcementAfterAFailureRunsAgainOrReleasesTheDriver)
{
    enum class Then { DeviceEvent, ReloadOff, Stop, ReloadAllowingTheStick };
    // The remounts come first: the remounter's letters are then those of this PC alone.
    const struct {
        const char* failure;
        bool endsThread;
        bool noNewThread;
        Then then;
    } cases[] = {
        {"thread ended by a failure no handler expects, then control switched off", true, false, Then::ReloadOff},
        {"thread ended by a failure no handler expects, then the service stopped", true, false, Then::Stop},
        {"thread ended, no new thread could start, then control switched off", true, true, Then::ReloadOff},
        {"thread ended by a failure no handler expects, then a reload that allows the blocked stick", true, false,
         Then::ReloadAllowingTheStick},
        {"thread ended by a failure no handler expects, then a device event", true, false, Then::DeviceEvent},
        {"allocation failure while the thread sets itself up, then a device event", false, false, Then::DeviceEvent}};
    pc_.pc.SetWindowsVersion(6, 2);
    testbed::UserSessions& sessions = pc_.pc.Sessions();
    sessions.AddSession(1, &sessions.AddUser(L"OFFICE", L"alice"));
    sessions.SetConsoleSession(1);
    const auto remounts = [&] {
        std::vector<std::wstring> lines;
        for (const testbed::Launch& launch : sessions.Launches())
            if (launch.commandLine.find(L"QEVRINrmt.exe") != std::wstring::npos)
                lines.push_back(launch.commandLine);
        return lines;
    };
    wchar_t lateLetter = L'J';
    for (const auto& c : cases) {
        Store(OfficeSetting(1));
        // The thread's next storage query fails. An end of the thread waits until a drive query
        // is queued behind the failing pass.
        std::atomic<bool> armed{!c.endsThread};
        std::atomic<HANDLE> failedThread{nullptr};
        pc_.pc.beforeRequest = [&](DWORD) {
            if (!armed.exchange(false))
                return;
            HANDLE self = nullptr;
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
            failedThread = self;
            if (!c.endsThread)
                throw std::bad_alloc();
            pc_.pc.Lock().unlock();
            MSG msg;
            const DWORD start = GetTickCount();
            while (!PeekMessageW(&msg, nullptr, WM_APP_QUERY_DRIVE_STATE, WM_APP_QUERY_DRIVE_STATE, PM_NOREMOVE) &&
                   GetTickCount() - start < 20000)
                Sleep(5);
            pc_.pc.Lock().lock();
            throw 7;
        };
        ASSERT_EQ(1, core_->Start()) << c.failure;
        if (c.endsThread) {
            ASSERT_TRUE(RuleBecomes(pc_.unknown, 1)) << c.failure;
            armed = true;
            core_->OnDeviceEvent();
            ASSERT_TRUE(Eventually([&] { return failedThread.load() != nullptr; })) << c.failure;
            // The queued query is answered as the thread ends, not left to run out its limit.
            std::unique_ptr<ServiceCommandClient> client = Client();
            LONG state = -7;
            const DWORD asked = GetTickCount();
            EXPECT_EQ(0, client->GetDriveState(L'h', state)) << c.failure;
            EXPECT_LT(GetTickCount() - asked, DWORD(QuelmarThread::RequestLimit / 2)) << c.failure;
            client->Close();
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(failedThread.load(), 10000)) << c.failure;
        }
        ASSERT_TRUE(Eventually([&] { return failedThread.load() != nullptr; })) << c.failure;
        CloseHandle(failedThread.load());
        if (c.noNewThread) {
            // The first event the device event makes is the new thread's: the table that the
            // ended thread left stays in force meanwhile.
            failNextEventHere = true;
            core_->OnDeviceEvent();
            failNextEventHere = false;
            LONG state = -7;
            EXPECT_EQ(0, Client()->GetDriveState(L'h', state)) << c.failure;
            EXPECT_EQ(1, bridge_->Kernel().DriverMode()) << c.failure;
            EXPECT_NE(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, 4321).create) << c.failure;
        }
        const size_t remountsBefore = remounts().size();
        // What only a new thread's table can rule: a stick no pass has seen, or one that the
        // ended thread's table blocked and the new setting allows.
        testbed::Volume* ruled = nullptr;
        int ruledState = 1;
        switch (c.then) {
        case Then::DeviceEvent:
            ruled = &PlugLateStick(lateLetter++);
            core_->OnDeviceEvent();
            break;
        case Then::ReloadOff:
            Store(OfficeSetting(0));
            core_->ReloadSettings();
            break;
        case Then::Stop:
            core_->Stop();
            break;
        case Then::ReloadAllowingTheStick: {
            SettingV3 allowing = OfficeSetting(1);
            allowing.whitelist.push_back(Entry(0x090C, 0x1000, _T("UNKNOWN02"), UseVendor | UseProduct | UseSerial, 0));
            Store(allowing);
            core_->ReloadSettings();
            ruled = &pc_.unknown;
            ruledState = 0;
            break;
        }
        }
        if (ruled != nullptr) {
            EXPECT_TRUE(core_->HasEnforcementThread()) << c.failure;
            EXPECT_TRUE(RuleBecomes(*ruled, ruledState)) << c.failure;
            EXPECT_EQ(1, bridge_->Kernel().DriverMode()) << c.failure;
            EXPECT_EQ(0, Rule(pc_.known)) << c.failure;
        } else {
            // No thread follows: the driver is released as at any release.
            EXPECT_FALSE(core_->HasEnforcementThread()) << c.failure;
            EXPECT_EQ(0, bridge_->Kernel().DriverMode()) << c.failure;
            EXPECT_EQ(0, bridge_->Kernel().Probe(pc_.unknown.deviceName, 4321).create) << c.failure;
            EXPECT_FALSE(DriverControl::GetInstance()->IsOpen()) << c.failure;
        }
        if (c.then != Then::DeviceEvent) {
            // The stick is free again, and Explorer is told, as after a live thread's pass.
            EXPECT_TRUE(Eventually([&] { return remounts().size() == remountsBefore + 1; })) << c.failure;
            const std::vector<std::wstring> after = remounts();
            EXPECT_EQ(L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" H", after.empty() ? L"" : after.back())
                << c.failure;
        }
        core_->Stop();
        pc_.pc.beforeRequest = nullptr;
        ServiceCore::DeleteInstance();
        core_ = ServiceCore::CreateInstance();
        ASSERT_NE(nullptr, core_);
    }
}

TEST_F(ServiceCoreTest, PipeServerThatCouldNotBeStoppedFailsTheStart)
{
    Store(OfficeSetting(1));
    // The first event the start makes is the pipe server's stop event.
    failNextEventHere = true;
    EXPECT_EQ(0, core_->Start());
    EXPECT_NE(0u, GetLastError());
    failNextEventHere = false;
    EXPECT_FALSE(core_->HasPipeServerThread());
    EXPECT_FALSE(core_->HasEnforcementThread());
    EXPECT_FALSE(core_->HasEventWaitThread());
}

TEST_F(ServiceCoreTest, SettingHeldByALostThreadNeverHangsAReload)
{
    ASSERT_NE(nullptr, settingSemaphore_);
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    lostSemaphore = settingSemaphore_;
    EXPECT_TRUE(EndsInTime([&] { core_->ReloadSettings(); }));
    EXPECT_NE(INFINITE, longestLostWait.load());
    // Neither the core nor the enforcement thread could take the setting: the defaults block
    // even the whitelisted stick.
    EXPECT_TRUE(RuleBecomes(pc_.known, 1));
    EXPECT_TRUE(EndsInTime([&] { core_->Stop(); }));
}

TEST_F(ServiceCoreTest, ReloadThatMeetsAStopIsDroppedAndStartsNothing)
{
    Store(OfficeSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(RuleBecomes(pc_.unknown, 1));
    // The enforcement thread stays in a pass until the stop asks it to end: from then on the
    // stop holds the core lock while it waits for the thread.
    ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> gated{false};
    std::atomic<bool> stopAsked{false};
    pc_.pc.beforeRequest = [&](DWORD) {
        if (gated.exchange(true))
            return;
        // The machine is not kept from the stop's other threads meanwhile.
        pc_.pc.Lock().unlock();
        MSG msg;
        const DWORD start = GetTickCount();
        while (!PeekMessageW(&msg, nullptr, WM_APP_SET_EXIT_CODE, WM_APP_SET_EXIT_CODE, PM_NOREMOVE) &&
               GetTickCount() - start < 20000)
            Sleep(5);
        stopAsked = true;
        WaitForSingleObject(release.Get(), 20000);
        pc_.pc.Lock().lock();
    };
    core_->OnDeviceEvent();
    std::thread stopping([&] { core_->Stop(); });
    ASSERT_TRUE(Eventually([&] { return stopAsked.load(); }, 20000));

    Store(OfficeSetting(0));
    std::atomic<bool> reloaded{false};
    std::thread reloading([&] {
        core_->ReloadSettings();
        reloaded = true;
    });
    EXPECT_TRUE(Eventually([&] { return reloaded.load(); }, 5000));
    SetEvent(release.Get());
    reloading.join();
    stopping.join();
    EXPECT_FALSE(core_->HasEnforcementThread());
    EXPECT_FALSE(core_->HasPipeServerThread());
    EXPECT_FALSE(DriverControl::GetInstance()->IsOpen());
    // The stop kept the driver's table; the reload that would have released it never ran.
    EXPECT_EQ(1, bridge_->Kernel().DriverMode());
    EXPECT_EQ(1, Rule(pc_.unknown));
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

TEST_F(EnforcementThreadTest, RequestsQueuedWhenTheThreadEndsAreAnsweredAndFreed)
{
    Store(OfficeSetting(1));
    core_->LoadSettings();
    const struct {
        const char* end;
        bool failsSettingUp;
    } cases[] = {{"the loop ends at a quit queued ahead of the request", false},
                 {"a failure no handler expects while the thread sets itself up", true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(DriverControl::GetInstance()->Open(1000)) << c.end;
        pc_.pc.beforeRequest = [fails = c.failsSettingUp](DWORD) {
            if (fails)
                throw 7;
        };
        CWinThread* started = AfxBeginThread(RUNTIME_CLASS(QuelmarThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        ASSERT_NE(nullptr, started) << c.end;
        if (!c.failsSettingUp)
            started->PostThreadMessage(WM_QUIT, 0, 0);
        ThreadRequest* request = ThreadRequest::Create();
        ASSERT_NE(nullptr, request) << c.end;
        request->processId = GetCurrentProcessId();
        ASSERT_TRUE(request->Post(started->m_nThreadID, WM_APP_ADD_EXEMPT_PROCESS)) << c.end;
        started->ResumeThread();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started->m_hThread, 10000)) << c.end;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(request->Event(), 0)) << c.end;
        EXPECT_EQ(0, request->result) << c.end;
        // The thread let go of the reference it was posted with: the requester's is the last.
        heapcheck::FreedBlockWatch watch;
        request->Release();
        EXPECT_TRUE(watch.Freed(request)) << c.end;
        EXPECT_EQ(0u, watch.OverwrittenBlocks()) << c.end;
        pc_.pc.beforeRequest = nullptr;
        delete started;
        DriverControl::DeleteInstance();
    }
}

TEST(ThreadRequest, AnswerAfterTheRequesterGaveUpWritesOnlyIntoALiveBlock)
{
    heapcheck::FreedBlockWatch watch;
    ThreadRequest* request = ThreadRequest::Create();
    ASSERT_NE(nullptr, request);
    // A thread that takes its time: the requester's wait ends and it lets go first.
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
    ASSERT_TRUE(request->Post(threadId, WM_APP_ADD_EXEMPT_PROCESS));
    EXPECT_FALSE(request->WaitForAnswer(10));
    request->Release();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    // The block, and nothing else, was freed by the last one to let go, and nothing wrote into
    // it afterwards.
    EXPECT_EQ(1u, watch.KeptBlocks());
    EXPECT_EQ(0u, watch.OverwrittenBlocks());
}

// The portable devices the core keeps disabled: a phone the user disabled himself and a camera.
class ServiceCorePortableTest : public ServiceCoreTest {
protected:
    void SetUp() override
    {
        ServiceCoreTest::SetUp();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, ServiceCore::kPortableDeviceKeyPath);
    }
    void TearDown() override
    {
        ServiceCoreTest::TearDown();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, ServiceCore::kPortableDeviceKeyPath);
    }

    static SettingV3 PortableSetting(int blockPortable)
    {
        SettingV3 setting = OfficeSetting(1);
        setting.blockPortableDevices = blockPortable;
        return setting;
    }

    // The driver keys recorded under the core's key, in value order; empty without the key.
    static std::vector<std::wstring> Recorded()
    {
        std::vector<std::wstring> keys;
        for (int index = 0;; ++index) {
            wchar_t text[512] = {};
            DWORD size = sizeof text;
            if (RegGetValueW(HKEY_LOCAL_MACHINE, ServiceCore::kPortableDeviceKeyPath, std::to_wstring(index).c_str(),
                             RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
                return keys;
            keys.push_back(text);
        }
    }

    static bool RecordKeyExists()
    {
        ScopedRegKey key;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServiceCore::kPortableDeviceKeyPath, 0, KEY_READ, key.Receive()) ==
               ERROR_SUCCESS;
    }

    static std::wstring DriverKey(testbed::DeviceNode& node) { return *node.FindProperty(CM_DRP_DRIVER); }

    size_t EnableRequests(const testbed::DeviceNode& node)
    {
        size_t count = 0;
        for (const testbed::InstallerAction& action : installer_.Actions(node))
            count += action.stateChange == DICS_ENABLE;
        return count;
    }

    testbed::DeviceNode& phone_ = testbed::AddPortableDevice(pc_.pc, L"Galaxy S7");
    testbed::DeviceNode& camera_ = testbed::AddPortableDevice(pc_.pc, L"EOS 80D");
    testbed::ClassInstaller& installer_ = pc_.pc.Installer();
};

TEST_F(ServiceCorePortableTest, StartDisablesWhatTheUserLeftOnAndReloadWithoutBlockingGivesItBack)
{
    installer_.DisableByUser(phone_);
    Store(PortableSetting(1));
    ASSERT_EQ(1, core_->Start());
    EXPECT_TRUE(core_->HasPortableDeviceThread());
    ASSERT_TRUE(Eventually([&] { return installer_.Disabled(camera_) && Recorded().size() == 1; }));
    EXPECT_EQ(DriverKey(camera_), Recorded()[0]);
    EXPECT_TRUE(installer_.Disabled(phone_));

    Store(PortableSetting(0));
    std::unique_ptr<ServiceCommandClient> client = Client();
    ASSERT_EQ(1, client->RequestReloadSettings());
    EXPECT_FALSE(core_->HasPortableDeviceThread());
    EXPECT_TRUE(core_->HasEnforcementThread());
    EXPECT_FALSE(installer_.Disabled(camera_));
    EXPECT_FALSE(RecordKeyExists());
    // The user's own choice is never undone.
    EXPECT_TRUE(installer_.Disabled(phone_));
    EXPECT_EQ(0u, EnableRequests(phone_));

    Store(PortableSetting(1));
    ASSERT_EQ(1, client->RequestReloadSettings());
    EXPECT_TRUE(core_->HasPortableDeviceThread());
    EXPECT_TRUE(Eventually([&] { return installer_.Disabled(camera_); }));
}

TEST_F(ServiceCorePortableTest, ControlSwitchedOffStopsThePortableThreadToo)
{
    Store(PortableSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(Eventually([&] { return installer_.Disabled(camera_) && installer_.Disabled(phone_); }));

    SettingV3 off = PortableSetting(1);
    off.usbControlEnabled = 0;
    Store(off);
    core_->ReloadSettings();
    EXPECT_FALSE(core_->HasPortableDeviceThread());
    EXPECT_FALSE(installer_.Disabled(camera_));
    EXPECT_FALSE(installer_.Disabled(phone_));
    EXPECT_FALSE(RecordKeyExists());
}

TEST_F(ServiceCorePortableTest, DeviceEventDisablesANewDeviceAndStopEnablesEverything)
{
    Store(PortableSetting(1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(Eventually([&] { return installer_.Disabled(camera_) && installer_.Disabled(phone_); }));

    testbed::DeviceNode& player = testbed::AddPortableDevice(pc_.pc, L"Walkman");
    core_->OnDeviceEvent();
    // Well before the thread's own period would take it.
    EXPECT_TRUE(Eventually([&] { return installer_.Disabled(player); }, 5000));

    core_->Stop();
    EXPECT_FALSE(core_->HasPortableDeviceThread());
    for (testbed::DeviceNode* node : {&phone_, &camera_, &player})
        EXPECT_FALSE(installer_.Disabled(*node));
    EXPECT_FALSE(RecordKeyExists());
}

TEST_F(ServiceCorePortableTest, DevicesLeftRecordedByAnEndedServiceAreEnabledAtStart)
{
    // What a service ended by force leaves behind: the camera disabled and recorded.
    installer_.DisableByUser(camera_);
    {
        ScopedRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServiceCore::kPortableDeviceKeyPath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr));
        const std::wstring driverKey = DriverKey(camera_);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"0", 0, REG_SZ, reinterpret_cast<const BYTE*>(driverKey.c_str()),
                                                DWORD((driverKey.size() + 1) * sizeof(wchar_t))));
    }
    Store(PortableSetting(0));
    ASSERT_EQ(1, core_->Start());
    EXPECT_FALSE(core_->HasPortableDeviceThread());
    EXPECT_FALSE(installer_.Disabled(camera_));
    EXPECT_FALSE(RecordKeyExists());
}

// A real service folder that holds the ejector program; Windows 7 unless a test says otherwise.
class ServiceCoreDiscTest : public ServiceCoreTest {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        folder_ = std::wstring(temp) + L"QEVRIN core disc test";
        CreateDirectoryW(folder_.c_str(), nullptr);
        ejector_ = folder_ + L"\\QEVRINcde.exe";
        {
            ScopedHandle file(CreateFileW(ejector_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(file.IsValid());
        }
        pc_.pc.programFile = folder_ + L"\\QEVRINs.exe";
        pc_.pc.SetWindowsVersion(6, 1);
        sessions_.AddSession(0, nullptr);
        sessions_.AddSession(2, &alice_);
        CleanPolicy();
        ServiceCoreTest::SetUp();
    }
    void TearDown() override
    {
        ServiceCoreTest::TearDown();
        CleanPolicy();
        DeleteFileW(ejector_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void CleanPolicy()
    {
        const CString state = CdBurningPolicy::StateFilePath(folder_.c_str());
        DeleteFileW(state);
        DeleteFileW(PendingFilePath(state));
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, 0, KEY_SET_VALUE, key.Receive()) ==
            ERROR_SUCCESS)
            RegDeleteValueW(key, CdBurningPolicy::kPolicyValue);
    }

    static long long Policy()
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, CdBurningPolicy::kPolicyKey, CdBurningPolicy::kPolicyValue, RRF_RT_REG_DWORD,
                         nullptr, &value, &size) != ERROR_SUCCESS)
            return -1;
        return value;
    }

    static SettingV3 CdSetting(int control, int blockCd)
    {
        SettingV3 setting = OfficeSetting(control);
        setting.blockCdWriting = blockCd;
        return setting;
    }

    std::wstring folder_;
    std::wstring ejector_;
    testbed::UserSessions& sessions_ = pc_.pc.Sessions();
    testbed::SimulatedUser& alice_ = sessions_.AddUser(L"OFFICE", L"alice");
};

TEST_F(ServiceCoreDiscTest, LogonStartsTheEjectorOnlyWhenControlAndCdBlockingAreOn)
{
    const struct {
        int control;
        int blockCd;
        bool launched;
    } cases[] = {{1, 1, true}, {1, 0, false}, {0, 1, false}, {0, 0, false}};
    for (const auto& c : cases) {
        const size_t before = sessions_.Launches().size();
        core_->SetSettings(CdSetting(c.control, c.blockCd));
        core_->OnSessionLogon(2);
        const auto launches = sessions_.Launches();
        ASSERT_EQ(before + (c.launched ? 1 : 0), launches.size()) << c.control << c.blockCd;
        if (c.launched) {
            EXPECT_EQ(2u, launches.back().sessionId);
            EXPECT_EQ(ejector_, launches.back().applicationName);
            EXPECT_EQ(L"\"" + ejector_ + L"\"", launches.back().commandLine);
        }
    }
}

TEST_F(ServiceCoreDiscTest, LogoffReloadsTheSettingAndSetsTheBurningPolicy)
{
    Store(CdSetting(1, 1));
    // The core still holds the defaults with blocking off: the logoff reads the stored setting.
    core_->SetSettings(CdSetting(0, 0));
    core_->OnSessionLogoff();
    EXPECT_EQ(1, Policy());
    const CString state = CdBurningPolicy::StateFilePath(folder_.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(state));
    EXPECT_EQ(1, core_->GetSettings().blockCdWriting);

    FILETIME written = {};
    {
        ScopedHandle file(CreateFileW(state, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
        ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    Store(CdSetting(1, 0));
    core_->OnSessionLogoff();
    EXPECT_EQ(0, Policy());
    ScopedHandle file(CreateFileW(state, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    FILETIME after = {};
    ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &after));
    EXPECT_EQ(0, CompareFileTime(&written, &after));
}

TEST_F(ServiceCoreDiscTest, StartRunsTheCdThreadsForTheSettingAndTheWindowsVersion)
{
    const struct {
        DWORD major;
        DWORD minor;
        int blockCd;
        bool recorderThread;
        bool watchThread;
    } cases[] = {{5, 1, 1, true, true}, {5, 2, 1, true, true}, {5, 0, 1, false, true},
                 {6, 1, 1, false, true}, {5, 1, 0, false, false}};
    for (const auto& c : cases) {
        pc_.pc.SetWindowsVersion(c.major, c.minor);
        testbed::DiscSystem discs(pc_.pc);
        discs.AddRecorder(L'D');
        Store(CdSetting(1, c.blockCd));
        ASSERT_EQ(1, core_->Start());
        EXPECT_EQ(c.recorderThread, core_->HasDiscRecorderThread()) << c.major << "." << c.minor << " " << c.blockCd;
        EXPECT_EQ(c.watchThread, core_->HasEjectorWatchThread()) << c.major << "." << c.minor << " " << c.blockCd;
        core_->Stop();
        EXPECT_FALSE(core_->HasDiscRecorderThread());
        EXPECT_FALSE(core_->HasEjectorWatchThread());
        ServiceCore::DeleteInstance();
        core_ = ServiceCore::CreateInstance();
        ASSERT_NE(nullptr, core_);
    }
}

TEST_F(ServiceCoreDiscTest, RecorderThreadHoldsIdleRecordersUntilTheServiceStops)
{
    pc_.pc.SetWindowsVersion(5, 1);
    testbed::DiscSystem discs(pc_.pc);
    discs.AddRecorder(L'D', testbed::DiscMedia::Blank);
    testbed::DiscRecorder& burning = discs.AddRecorder(L'E');
    burning.burning = true;
    auto held = [&] {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        size_t count = 0;
        for (auto& drive : discs.Recorders())
            count += drive->exclusiveHolder != nullptr;
        return count;
    };
    Store(CdSetting(1, 1));
    ASSERT_EQ(1, core_->Start());
    ASSERT_TRUE(Eventually([&] { return held() == 1; }));
    {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        burning.burning = false;
    }
    // Device events ask for passes; the idle recorder is taken long before the 5 s period.
    EXPECT_TRUE(Eventually([&] {
        core_->OnDeviceEvent();
        return held() == 2;
    }));
    core_->Stop();
    EXPECT_EQ(0u, held());
    EXPECT_EQ(0, discs.LiveObjects());
}

}  // namespace
}  // namespace servicetest
