//
//  The USB data enumerator thread: passes on request, folding, no lost request, and an end
//  that neither waits on a dead handle nor terminates the thread.
//
#include "tool/EnumeratorThreadOwner.h"
#include "tool/ToolMessages.h"
#include "tool/tests/testbed_pcs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A hidden window that counts the thread's notifications and may react to each one.
class Subscriber {
public:
    Subscriber()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Subscriber::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QevrinToolTestSubscriber";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Subscriber() { DestroyWindow(window); }

    // Pumps this thread's messages until count notifications came or the deadline passed.
    bool PumpUntil(int count, DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        while (notifications < count && GetTickCount() - start < timeoutMs) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
        }
        return notifications >= count;
    }

    HWND window = nullptr;
    int notifications = 0;
    std::function<void()> onNotification;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Subscriber*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self != nullptr && message == WM_APP_DEVICES_CHANGED) {
            ++self->notifications;
            if (self->onNotification) {
                self->onNotification();
            }
            return 0;
        }
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
};

// Holds the enumerator thread inside its next pass until released.
class PassGate {
public:
    explicit PassGate(testbed::Machine& pc)
        : entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        pc.beforeRequest = [this](DWORD) {
            if (armed_.exchange(false)) {
                SetEvent(entered_.Get());
                WaitForSingleObject(release_.Get(), 20000);
            }
        };
    }
    void Arm() { armed_ = true; }
    bool WaitEntered() { return WaitForSingleObject(entered_.Get(), 10000) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_.Get()); }

private:
    std::atomic<bool> armed_{false};
    ScopedHandle entered_;
    ScopedHandle release_;
};

constexpr DWORD kInfo = UsbDeviceEnumerator::INFO_VENDOR_ID | UsbDeviceEnumerator::INFO_PRODUCT_ID |
                        UsbDeviceEnumerator::INFO_SERIAL;

}  // namespace

TEST(EnumeratorThread, FirstPassIsPublishedWhenStartReturnsAndRequestsAreTakenAtOnce)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C530001", L'E');
    EnumeratorThreadOwner thread;
    ASSERT_TRUE(thread.Start(kInfo, 0));
    UsbStorageDeviceList devices;
    thread.GetDevices(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serialNumber, L"4C530001");

    Subscriber subscriber;
    thread.Subscribe(subscriber.window);
    // The thread's queue exists before Start returns: the very first request is taken.
    EXPECT_TRUE(thread.RequestScan());
    EXPECT_TRUE(subscriber.PumpUntil(1, 10000));

    machine.PlugStick(2, 0x0951, 0x1666, L"ABCD", L'F');
    EXPECT_TRUE(thread.RequestScan());
    EXPECT_TRUE(subscriber.PumpUntil(2, 10000));
    thread.GetDevices(devices);
    EXPECT_EQ(devices.size(), 2u);
    EXPECT_TRUE(thread.Stop());
}

TEST(EnumeratorThread, RequestsDuringAPassFoldIntoExactlyOneMore)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C530001", L'E');
    PassGate gate(machine.pc);
    EnumeratorThreadOwner thread;
    ASSERT_TRUE(thread.Start(kInfo, 0));
    Subscriber subscriber;
    thread.Subscribe(subscriber.window);

    gate.Arm();
    ASSERT_TRUE(thread.RequestScan());
    ASSERT_TRUE(gate.WaitEntered());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(thread.RequestScan());
    }
    gate.Release();
    EXPECT_TRUE(subscriber.PumpUntil(2, 10000));
    // Nothing further comes.
    EXPECT_FALSE(subscriber.PumpUntil(3, 700));
    EXPECT_EQ(subscriber.notifications, 2);
    EXPECT_TRUE(thread.Stop());
}

TEST(EnumeratorThread, RequestMadeAsAPassEndsAlwaysYieldsAnotherPass)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C530001", L'E');
    EnumeratorThreadOwner thread;
    ASSERT_TRUE(thread.Start(kInfo, 0));
    Subscriber subscriber;
    thread.Subscribe(subscriber.window);
    // Each notification arrives while the pass that sent it is ending; asking at that moment
    // must still give one more pass, every time.
    constexpr int kRounds = 150;
    int requests = 0;
    subscriber.onNotification = [&] {
        if (requests < kRounds) {
            ++requests;
            thread.RequestScan();
        }
    };
    ASSERT_TRUE(thread.RequestScan());
    EXPECT_TRUE(subscriber.PumpUntil(kRounds + 1, 60000)) << "passes seen: " << subscriber.notifications;
    EXPECT_TRUE(thread.Stop());
}

// The thread object deletes itself whichever way its thread ends; an owner that still reached
// it would use freed memory, which blocks of its size, refilled at once, make plain.
TEST(EnumeratorThreadOwner, ThreadEndedByAnExceptionLeavesTheOwnerSound)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C530001", L'E');
    EnumeratorThreadOwner thread;
    ASSERT_TRUE(thread.Start(kInfo, 0));
    Subscriber subscriber;
    thread.Subscribe(subscriber.window);
    const DWORD enumerating = thread.ThreadId();
    ScopedHandle watch(OpenThread(SYNCHRONIZE, FALSE, enumerating));
    ASSERT_TRUE(watch.IsValid());
    machine.pc.beforeRequest = [enumerating](DWORD) {
        if (GetCurrentThreadId() == enumerating) {
            throw std::runtime_error("the hub went away");
        }
    };
    ASSERT_TRUE(thread.RequestScan());
    ASSERT_EQ(WaitForSingleObject(watch.Get(), 10000), WAIT_OBJECT_0);
    machine.pc.beforeRequest = nullptr;
    std::vector<std::unique_ptr<BYTE[]>> refill;
    for (int i = 0; i < 4096; ++i) {
        refill.emplace_back(new BYTE[sizeof(USBDataEnumeratorThread)]);
        std::memset(refill.back().get(), 0xA5, sizeof(USBDataEnumeratorThread));
    }

    // No thread takes the request; the last list stays; the end is awaited on the owner's handle.
    EXPECT_FALSE(thread.RequestScan());
    UsbStorageDeviceList devices;
    thread.GetDevices(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serialNumber, L"4C530001");
    EXPECT_TRUE(thread.Stop());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.Stop());
}

TEST(EnumeratorThreadOwner, ThreadThatOverrunsTheWaitIsUnsubscribedAndEndsByItself)
{
    tooltest::ToolPc machine;
    machine.PlugStick(1, 0x0781, 0x5567, L"4C530001", L'E');
    PassGate gate(machine.pc);
    EnumeratorThreadOwner thread;
    ASSERT_TRUE(thread.Start(kInfo, 0));
    Subscriber subscriber;
    thread.Subscribe(subscriber.window);
    ScopedHandle watch(OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, thread.ThreadId()));
    ASSERT_TRUE(watch.IsValid());

    gate.Arm();
    ASSERT_TRUE(thread.RequestScan());
    ASSERT_TRUE(gate.WaitEntered());
    // The gate holds the simulated PC's lock, which closing a handle also takes here: open it
    // from aside, well after the owner's wait has run out.
    std::thread opener([&] {
        Sleep(800);
        gate.Release();
    });
    EXPECT_FALSE(thread.Stop(200));
    opener.join();
    ASSERT_EQ(WaitForSingleObject(watch.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(watch.Get(), &code));
    // Not terminated (which would leave 0xFFFFFFFF), and no word to the gone owner.
    EXPECT_NE(code, 0xFFFFFFFFu);
    EXPECT_FALSE(subscriber.PumpUntil(1, 300));
}
