// The portable-device lock thread on the simulated PC: a pass at start, passes on request
// folded while one runs, the record kept while it runs, and every device it disabled enabled
// again at its end.
#include "service/devices/CWindowsPortableDevicesLockThread.h"
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Machine.h"

#include "classlib/ScopedRegKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace servicetest {
namespace {

using namespace Quelmar;

const WCHAR kLockKey[] = L"SOFTWARE\\QEVRIN-tests\\WPD-thread";

// Counts the passes it ran.
class CountingLockThread : public CWindowsPortableDevicesLockThread {
    DECLARE_DYNCREATE(CountingLockThread)

public:
    void LockDevices() override
    {
        CWindowsPortableDevicesLockThread::LockDevices();
        ++passes;
    }
    std::atomic<int> passes{0};
};
IMPLEMENT_DYNCREATE(CountingLockThread, CWindowsPortableDevicesLockThread)

// Waits, pumping nothing, until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds = 10000)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(10);
    }
    return true;
}

bool KeyExists()
{
    ScopedRegKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLockKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

class PortableLockThread : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLockKey); }
    void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLockKey); }

    testbed::Machine pc;
    testbed::DeviceNode& phone = testbed::AddPortableDevice(pc, L"Galaxy S7");
    testbed::DeviceNode& camera = testbed::AddPortableDevice(pc, L"EOS 80D");
    testbed::ClassInstaller& installer = pc.Installer();

    // A counting thread on the test's key, owned as the service core owns its thread.
    static CountingLockThread* StartCounting(PortableDeviceLockThreadPtr& owner)
    {
        CWinThread* started =
            AfxBeginThread(RUNTIME_CLASS(CountingLockThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        if (started == nullptr)
            return nullptr;
        owner.reset(static_cast<CWindowsPortableDevicesLockThread*>(started));
        auto* thread = static_cast<CountingLockThread*>(started);
        thread->m_bAutoDelete = FALSE;
        thread->SetKeyPath(kLockKey);
        thread->ResumeThread();
        return thread;
    }
};

TEST_F(PortableLockThread, DisablesAtStartAndEnablesEverythingItDisabledAtTheEnd)
{
    installer.DisableByUser(phone);
    PortableDeviceLockThreadPtr thread = StartPortableDeviceLockThread(kLockKey);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(WaitFor([&] { return installer.Disabled(camera) && KeyExists(); }));

    // A device plugged while it runs is taken by the next requested pass.
    testbed::DeviceNode& player = testbed::AddPortableDevice(pc, L"Walkman");
    thread->RequestPass();
    EXPECT_TRUE(WaitFor([&] { return installer.Disabled(player); }));

    thread.reset();
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_FALSE(installer.Disabled(player));
    EXPECT_TRUE(installer.Disabled(phone));
    EXPECT_TRUE(installer.Actions(phone).empty());
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST_F(PortableLockThread, DeviceThatRefusesToBeEnabledStaysRecordedAfterTheEnd)
{
    PortableDeviceLockThreadPtr thread = StartPortableDeviceLockThread(kLockKey);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(WaitFor([&] { return installer.Disabled(camera) && installer.Disabled(phone); }));
    installer.FailNext(phone, 1, ERROR_ACCESS_DENIED);
    thread.reset();
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_TRUE(installer.Disabled(phone));
    ASSERT_TRUE(KeyExists());

    // The next start of the service restores it and clears the key.
    CWindowsPortableDevicesLockThread::RestoreDevices(kLockKey);
    EXPECT_FALSE(installer.Disabled(phone));
    EXPECT_FALSE(KeyExists());
}

TEST_F(PortableLockThread, DevicesLeftRecordedByAnEarlierRunStayRecordedAndAreEnabledAtTheEnd)
{
    // An earlier run disabled the phone and could not enable it again.
    {
        PortableDeviceList earlier;
        BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
        pc.RemoveNode(camera);
        earlier.DisableAll(disableFailed, newDevice, newlyRecorded);
        CWindowsPortableDevicesLockThread::RecordDevices(earlier, kLockKey);
        earlier.SetRecordedDriverKeys({});
        installer.Reconnect(camera);
    }
    ASSERT_TRUE(installer.Disabled(phone));

    PortableDeviceLockThreadPtr thread = StartPortableDeviceLockThread(kLockKey);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(WaitFor([&] { return installer.Disabled(camera); }));
    thread->RequestPass();
    // The record written after disabling the camera still holds the phone.
    ASSERT_TRUE(WaitFor([&] {
        ScopedRegKey key;
        DWORD values = 0;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLockKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS &&
               RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                                nullptr, nullptr) == ERROR_SUCCESS &&
               values == 2;
    }));
    thread.reset();
    EXPECT_FALSE(installer.Disabled(phone));
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_FALSE(KeyExists());
}

TEST_F(PortableLockThread, RequestsDuringAPassCauseExactlyOneMorePass)
{
    PortableDeviceLockThreadPtr owner;
    CountingLockThread* thread = StartCounting(owner);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitFor([&] { return thread->passes.load() == 1; }));

    {
        // The pass that the first request starts waits for the machine while ten more arrive.
        std::lock_guard<std::recursive_mutex> hold(pc.Lock());
        EXPECT_TRUE(thread->RequestPass());
        for (int i = 0; i < 10; ++i)
            EXPECT_FALSE(thread->RequestPass());
    }
    ASSERT_TRUE(WaitFor([&] { return thread->passes.load() == 3; }));
    Sleep(300);
    EXPECT_EQ(thread->passes.load(), 3);

    owner.reset();
    EXPECT_FALSE(KeyExists());
}

TEST_F(PortableLockThread, StoppedThreadTakesNoMoreRequests)
{
    PortableDeviceLockThreadPtr owner;
    CountingLockThread* thread = StartCounting(owner);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitFor([&] { return thread->passes.load() == 1; }));

    thread->PostThreadMessage(WM_QUIT, 0, 0);
    ASSERT_EQ(WaitForSingleObject(thread->m_hThread, 10000), WAIT_OBJECT_0);
    // The object outlives its thread until its owner lets it go, and says it is stopping.
    EXPECT_TRUE(thread->IsStopping());
    EXPECT_FALSE(thread->RequestPass());
    EXPECT_EQ(thread->passes.load(), 1);
    EXPECT_FALSE(installer.Disabled(camera));
}

TEST(PortableLockRequests, CounterTellsWhenToPostAndWhenToPassAgain)
{
    CWindowsPortableDevicesLockThread thread;
    ASSERT_TRUE(thread.IsUsable());
    EXPECT_TRUE(thread.IncrementRequests());
    EXPECT_FALSE(thread.IncrementRequests());
    EXPECT_TRUE(thread.TakeRequests());
    EXPECT_TRUE(thread.IncrementRequests());
    EXPECT_FALSE(thread.TakeRequests());
    EXPECT_FALSE(thread.TakeRequests());
}

}  // namespace
}  // namespace servicetest
