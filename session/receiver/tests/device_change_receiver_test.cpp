// The device change receiver: every WM_DEVICECHANGE its window gets becomes one devices-changed
// command to the service, a silent service does not hold the window, a change that an absent or
// busy service cannot take is dropped, and a second start in the same session ends at once.
#include "session/receiver/OblanetWnd.h"
#include "session/receiver/SessionSingleInstance.h"
#include "core/pipe/ServiceProtocol.h"
#include "core/tests/program_window.h"
#include "core/tests/stand_in_service_pipe.h"

#include "classlib/ScopedHandle.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using namespace Quelmar;

// Far longer than the receiver waits for the service: a receiver that waits without a bound
// outlasts it, and the test sees that, rather than hang.
const DWORD kLongerThanAnyBound = 30000;

// The service's end of the pipe: counts the devices-changed commands and answers them, or
// answers nothing until it is let go.
class StandInService {
public:
    explicit StandInService(bool silent = false)
        : silent_(silent), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          pipe_([this](const BYTE* request, DWORD size, std::vector<BYTE>& reply) {
              if (size == 4 && request[0] == CMD_DEVICE_CHANGED)
                  ++devicesChanged;
              if (silent_) {
                  if (WaitForSingleObject(release_.Get(), kLongerThanAnyBound) == WAIT_TIMEOUT)
                      silenceOutwaited = true;
                  return false;
              }
              StandInServicePipe::AppendWord(reply, 0);
              return true;
          })
    {
    }
    // A silent server is let go before its pipe is closed.
    ~StandInService() { SetEvent(release_.Get()); }
    std::atomic<int> devicesChanged{0};
    // The silent server gave up before its client did.
    std::atomic<bool> silenceOutwaited{false};

private:
    bool silent_;
    ScopedHandle release_;
    StandInServicePipe pipe_;
};

// Another program connected to the service's one pipe instance, sending nothing, until it is
// let go.
class BusyClient {
public:
    BusyClient() : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        holder_ = std::thread([this] {
            ScopedHandle pipe(CreateFileW(QUELMAR_SERVICE_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            connected = pipe.IsValid();
            SetEvent(ready_.Get());
            if (WaitForSingleObject(done_.Get(), kLongerThanAnyBound) == WAIT_TIMEOUT)
                outwaited = true;
        });
        WaitForSingleObject(ready_.Get(), INFINITE);
    }
    ~BusyClient() { LetGo(); }
    void LetGo()
    {
        SetEvent(done_.Get());
        if (holder_.joinable())
            holder_.join();
    }
    std::atomic<bool> connected{false};
    std::atomic<bool> outwaited{false};

private:
    ScopedHandle ready_;
    ScopedHandle done_;
    std::thread holder_;
};

TEST(DeviceChangeReceiver, EveryDeviceChangeSendsOneDevicesChangedCommand)
{
    StandInService service;
    std::unique_ptr<COblanetWnd> window = COblanetWnd::CreateHidden();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->IsWindowVisible());

    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 0x10;
    const struct {
        WPARAM event;
        LPARAM data;
    } changes[] = {
        {DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)},
        {DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&volume)},
        {DBT_DEVNODES_CHANGED, 0},
    };
    int sent = 0;
    for (const auto& change : changes) {
        LRESULT answer = window->SendMessage(WM_DEVICECHANGE, change.event, change.data);
        EXPECT_EQ(answer, DefWindowProcW(window->GetSafeHwnd(), WM_DEVICECHANGE, change.event, change.data));
        EXPECT_EQ(service.devicesChanged.load(), ++sent);
    }
}

TEST(DeviceChangeReceiver, SilentServiceDoesNotHoldTheWindowForever)
{
    StandInService service(true);
    std::unique_ptr<COblanetWnd> window = COblanetWnd::CreateHidden();
    ASSERT_TRUE(window);
    window->SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_EQ(service.devicesChanged.load(), 1);
    // The window gave up its wait while the service was still silent.
    EXPECT_FALSE(service.silenceOutwaited.load());
}

TEST(DeviceChangeReceiver, ChangeWithoutServiceIsDropped)
{
    std::unique_ptr<COblanetWnd> window = COblanetWnd::CreateHidden();
    ASSERT_TRUE(window);
    // No service at all: the window answers as the default window procedure does.
    EXPECT_EQ(window->SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0),
              DefWindowProcW(window->GetSafeHwnd(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));

    // The service's one pipe instance busy with another client: the window does not wait for
    // it.
    StandInService service;
    BusyClient busy;
    ASSERT_TRUE(busy.connected.load());
    window->SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    busy.LetGo();
    EXPECT_FALSE(busy.outwaited.load());

    // Once the pipe listens again, the next change arrives, and neither dropped one did.
    ASSERT_TRUE(WaitNamedPipeW(QUELMAR_SERVICE_PIPE_NAME, 10000));
    window->SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_EQ(service.devicesChanged.load(), 1);
}

TEST(SessionSingleInstance, SecondInstanceOnAnotherThreadIsRefused)
{
    const wchar_t name[] = L"QEVRIN-test-single-instance";
    SessionSingleInstance first(name);
    EXPECT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire());
    BOOL secondAcquired = TRUE;
    std::thread other([&] {
        SessionSingleInstance second(name);
        secondAcquired = second.Acquire();
    });
    other.join();
    EXPECT_FALSE(secondAcquired);
}

std::wstring ReceiverProgram()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring own(path, length);
    std::wstring folder = own.substr(0, own.find_last_of(L"\\/"));
    return folder.substr(0, folder.find_last_of(L"\\/")) + L"\\QEVRINdcr.exe";
}

struct StartedProgram {
    explicit StartedProgram(const std::wstring& path)
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + path + L"\"";
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process.Reset(info.hProcess);
            thread.Reset(info.hThread);
            id = info.dwProcessId;
        }
    }
    ~StartedProgram()
    {
        if (process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(process.Get(), 1);
    }
    ScopedHandle process;
    ScopedHandle thread;
    DWORD id = 0;
};


TEST(ReceiverProgram, SecondStartEndsAtOnceAndTheFirstForwardsChanges)
{
    StandInService service;
    StartedProgram first(ReceiverProgram());
    ASSERT_TRUE(first.process.IsValid());
    HWND window = nullptr;
    for (int i = 0; i < 200 && !(window = ProgramWindowOf(first.id)); ++i)
        Sleep(50);
    ASSERT_NE(window, nullptr) << "the receiver made no window";
    EXPECT_FALSE(IsWindowVisible(window));

    StartedProgram second(ReceiverProgram());
    ASSERT_TRUE(second.process.IsValid());
    EXPECT_EQ(WaitForSingleObject(second.process.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first.process.Get(), 0), DWORD(WAIT_TIMEOUT));

    // A device change sent across processes reaches the service as one command.
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_BLOCK, 20000, &answer));
    EXPECT_EQ(service.devicesChanged.load(), 1);

    // The program ends with its window.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first.process.Get(), 10000), WAIT_OBJECT_0);
}

}  // namespace
