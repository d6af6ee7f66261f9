//
//  The ejector program's pieces in one process on the simulated discs: the worker thread's
//  start, media arrivals and the joined retry; the hidden window's reading of device-change
//  records; the one-instance lock and the labels that decide whose mutex counts.
//
#include "session/ejector/CIMAPICDEjectorWnd.h"
#include "session/ejector/CIMAPIEjectorFactory.h"
#include "session/ejector/CIMAPIEjectorThread.h"
#include "session/ejector/CdEjectorInstanceMutex.h"
#include "session/ejector/tests/DiscTestFixture.h"

#include "classlib/ScopedHandle.h"
#include "testbed/machine/Sessions.h"

#include <aclapi.h>
#include <dbt.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <thread>

namespace {

using testbed::DiscMedia;
using testbed::DiscRecorder;

enum class Generation { First, Second };

const char* Name(Generation generation)
{
    return generation == Generation::First ? "first generation" : "second generation";
}

class EjectorProgram : public DiscTest {
protected:
    void TearDown() override
    {
        CIMAPIEjectorFactory::DeleteInstance();
        DiscTest::TearDown();
    }

    void Choose(Generation generation)
    {
        CIMAPIEjectorFactory::DeleteInstance();
        discs.imapi2.present = generation == Generation::Second;
        discs.firstGenerationRegistered = true;
        ASSERT_TRUE(SelectEjectorImplementation());
    }

    // Pumps this thread's messages until the condition holds or 10 seconds pass.
    bool WaitFor(const std::function<bool()>& condition)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            {
                std::lock_guard<std::recursive_mutex> hold(discs.Lock());
                if (condition())
                    return true;
            }
            if (GetTickCount() - start > 10000)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
    }

    void SetEjectResult(DiscRecorder& recorder, HRESULT result)
    {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        recorder.ejectResult = result;
    }
};

TEST_F(EjectorProgram, ThreadEjectsOnlyBlankMediaWithADriveLetterAtStart)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    DiscRecorder& e = discs.AddRecorder(L'E', DiscMedia::Recorded);
    DiscRecorder& f = discs.AddRecorder(L'F', DiscMedia::None);
    DiscRecorder& folder = discs.AddFolderMountedRecorder(L"C:\\mnt\\dvd\\", DiscMedia::Blank);
    for (Generation generation : {Generation::Second, Generation::First}) {
        SCOPED_TRACE(Name(generation));
        d.media = DiscMedia::Blank;
        d.ejected = 0;
        Choose(generation);
        CIMAPIEjectorThread* thread = StartEjectorThread();
        ASSERT_NE(thread, nullptr);
        EXPECT_TRUE(WaitFor([&] { return d.ejected == 1; }));
        StopEjectorThread(thread);
        EXPECT_EQ(e.ejected + f.ejected + folder.ejected, 0u);
        EXPECT_EQ(folder.ejectAttempts, 0u);
    }
    ExpectEverythingGivenBack();
}

TEST_F(EjectorProgram, FailuresOnTwoDrivesAreRetriedTogetherAndAnEmptyRetryDoesNothing)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    DiscRecorder& e = discs.AddRecorder(L'E', DiscMedia::Recorded);
    for (Generation generation : {Generation::Second, Generation::First}) {
        SCOPED_TRACE(Name(generation));
        {
            std::lock_guard<std::recursive_mutex> hold(discs.Lock());
            d.media = DiscMedia::Blank;
            e.media = DiscMedia::Recorded;
            d.ejected = e.ejected = d.ejectAttempts = e.ejectAttempts = 0;
        }
        Choose(generation);
        SetEjectResult(d, E_FAIL);
        CIMAPIEjectorThread* thread = StartEjectorThread();
        ASSERT_NE(thread, nullptr);
        ASSERT_TRUE(WaitFor([&] { return d.ejectAttempts == 1; }));

        // Blank media arrive in E:, whose ejection fails too, while D: waits for its retry.
        {
            std::lock_guard<std::recursive_mutex> hold(discs.Lock());
            e.media = DiscMedia::Blank;
            e.ejectResult = E_FAIL;
        }
        thread->PostThreadMessage(CIMAPIEjectorThread::WM_APP_EJECT, Bit(L'E'), 0);
        ASSERT_TRUE(WaitFor([&] { return e.ejectAttempts == 1; }));
        EXPECT_EQ(d.ejectAttempts, 1u);

        SetEjectResult(d, S_OK);
        SetEjectResult(e, S_OK);
        thread->PostThreadMessage(CIMAPIEjectorThread::WM_APP_EJECT_RETRY, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return d.ejected == 1 && e.ejected == 1; }));
        // Nothing waits any more: a further retry tries nothing.
        thread->PostThreadMessage(CIMAPIEjectorThread::WM_APP_EJECT_RETRY, 0, 0);
        StopEjectorThread(thread);
        EXPECT_EQ(d.ejectAttempts, 2u);
        EXPECT_EQ(e.ejectAttempts, 2u);
    }
    ExpectEverythingGivenBack();
}

TEST_F(EjectorProgram, RetryTimerTriesAFailedDriveAgain)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    Choose(Generation::Second);
    SetEjectResult(d, E_FAIL);
    CIMAPIEjectorThread* thread = StartEjectorThread();
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitFor([&] { return d.ejectAttempts == 1; }));
    SetEjectResult(d, S_OK);
    // The thread's own 5-second timer, not a message of the test, brings the retry.
    EXPECT_TRUE(WaitFor([&] { return d.ejected == 1; }));
    StopEjectorThread(thread);
    EXPECT_EQ(d.ejectAttempts, 2u);
}

TEST_F(EjectorProgram, ArrivalPostedBeforeTheThreadRunsIsKept)
{
    DiscRecorder& e = discs.AddRecorder(L'E', DiscMedia::Blank);
    Choose(Generation::Second);
    SetEjectResult(e, E_FAIL);
    auto* thread = static_cast<CIMAPIEjectorThread*>(
        AfxBeginThread(RUNTIME_CLASS(CIMAPIEjectorThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    EXPECT_TRUE(thread->PostThreadMessage(CIMAPIEjectorThread::WM_APP_EJECT, Bit(L'E'), 0));
    thread->ResumeThread();
    // The start's pass over every drive, then the arrival that was posted first.
    EXPECT_TRUE(WaitFor([&] { return e.ejectAttempts == 2; }));
    StopEjectorThread(thread);
}

TEST_F(EjectorProgram, StartingTheThreadLeavesTheCallersOtherApartmentInitialised)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    Choose(Generation::Second);
    HRESULT before = E_FAIL;
    HRESULT after = E_FAIL;
    CIMAPIEjectorThread* thread = nullptr;
    // A caller in the multithreaded apartment: the start's own single-threaded initialisation
    // fails there and must not be undone.
    std::thread([&] {
        before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        thread = StartEjectorThread();
        after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(after))
            CoUninitialize();
        if (SUCCEEDED(before))
            CoUninitialize();
    }).join();
    EXPECT_EQ(before, S_OK);
    EXPECT_EQ(after, S_FALSE);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(WaitFor([&] { return d.ejected == 1; }));
    StopEjectorThread(thread);
}

// The hidden window on this thread, its ejector thread behind it.
class EjectorWindow : public EjectorProgram {
protected:
    void TearDown() override
    {
        if (window && IsWindow(window->GetSafeHwnd()))
            ::DestroyWindow(window->GetSafeHwnd());
        EjectorProgram::TearDown();
    }

    // A volume record as the system broadcasts it, with a size of the sender's choosing.
    LRESULT Send(UINT event, DWORD mask, WORD flags, DWORD size = sizeof(DEV_BROADCAST_VOLUME),
                 DWORD type = DBT_DEVTYP_VOLUME)
    {
        DEV_BROADCAST_VOLUME record = {};
        record.dbcv_size = size;
        record.dbcv_devicetype = type;
        record.dbcv_unitmask = mask;
        record.dbcv_flags = flags;
        return SendMessageW(window->GetSafeHwnd(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record));
    }

    CIMAPICDEjectorWnd* window = nullptr;
};

TEST_F(EjectorWindow, IsHiddenAndPassesOnlyWholeMediaArrivalRecords)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::None);
    DiscRecorder& e = discs.AddRecorder(L'E', DiscMedia::None);
    DiscRecorder& g = discs.AddRecorder(L'G', DiscMedia::None);
    DiscRecorder& h = discs.AddRecorder(L'H', DiscMedia::None);
    // Listed last: once its blank disc is out, the start's pass has looked at every drive.
    DiscRecorder& last = discs.AddRecorder(L'Z', DiscMedia::Blank);
    Choose(Generation::Second);
    window = CIMAPICDEjectorWnd::CreateHidden();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window->GetSafeHwnd()));
    ASSERT_TRUE(window->HasEjectorThread());
    ASSERT_TRUE(WaitFor([&] { return last.ejected == 1; }));
    {
        std::lock_guard<std::recursive_mutex> hold(discs.Lock());
        d.media = e.media = g.media = h.media = DiscMedia::Blank;
    }

    struct Case {
        const char* what;  // for the reader: each would reach drive H:
        UINT event;
        DWORD mask;
        WORD flags;
        DWORD size;
        DWORD type;
    };
    const Case ignored[] = {
        // Only a header's worth of record: the mask behind it is not the sender's to give.
        {"short record", DBT_DEVICEARRIVAL, Bit(L'H'), DBTF_MEDIA, sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME},
        {"record one byte short", DBT_DEVICEARRIVAL, Bit(L'H'), DBTF_MEDIA, sizeof(DEV_BROADCAST_VOLUME) - 1,
         DBT_DEVTYP_VOLUME},
        {"a new drive, not new media", DBT_DEVICEARRIVAL, Bit(L'H'), 0, sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME},
        {"removal", DBT_DEVICEREMOVECOMPLETE, Bit(L'H'), DBTF_MEDIA, sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME},
        {"not a volume", DBT_DEVICEARRIVAL, Bit(L'H'), DBTF_MEDIA, sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_PORT},
    };
    for (const Case& c : ignored)
        Send(c.event, c.mask, c.flags, c.size, c.type);
    SendMessageW(window->GetSafeHwnd(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    // Media in two drives at once: one record, both ejected.
    Send(DBT_DEVICEARRIVAL, Bit(L'D') | Bit(L'E'), DBTF_MEDIA);
    Send(DBT_DEVICEARRIVAL, Bit(L'G'), DBTF_MEDIA);
    EXPECT_TRUE(WaitFor([&] { return d.ejected == 1 && e.ejected == 1 && g.ejected == 1; }));
    // Destruction stops the thread only after what was posted before it.
    ::DestroyWindow(window->GetSafeHwnd());
    window = nullptr;
    EXPECT_EQ(h.ejectAttempts, 0u);
    ExpectEverythingGivenBack();
}

TEST_F(EjectorWindow, RunsWithoutAThreadWhereNoImplementationExists)
{
    DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    discs.firstGenerationRegistered = false;
    discs.imapi2.present = false;
    EXPECT_FALSE(SelectEjectorImplementation());
    window = CIMAPICDEjectorWnd::CreateHidden();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->HasEjectorThread());
    Send(DBT_DEVICEARRIVAL, Bit(L'D'), DBTF_MEDIA);
    EXPECT_EQ(d.ejectAttempts, 0u);
}

// Makes every window this thread creates refuse its creation once it has handled its first
// message, as a window does when the session has no display driver: the system then
// destroys it before CreateWindowEx returns.
WNDPROC g_classProcedure = nullptr;

LRESULT CALLBACK RefuseAfterFirstMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcW(g_classProcedure, window, message, wParam, lParam);
    return message == WM_NCCREATE ? FALSE : result;
}

LRESULT CALLBACK SubclassAtCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        g_classProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseAfterFirstMessage)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(EjectorWindow, RefusedCreationDeletesTheWindowOnceAndLeavesNothingBehind)
{
    discs.firstGenerationRegistered = false;
    discs.imapi2.present = false;
    HHOOK hook = SetWindowsHookExW(WH_CBT, &SubclassAtCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(CIMAPICDEjectorWnd::CreateHidden(), nullptr);
    UnhookWindowsHookEx(hook);
    // The thread makes a working window afterwards: nothing of the refused one is pending.
    window = CIMAPICDEjectorWnd::CreateHidden();
    EXPECT_NE(window, nullptr);
}

// What another program of the session may put under the ejector's mutex name.
enum class Squat { Mutex, Event, Section, MutexDenyingEveryone };

// Another program of the session holds an object of that name on its own thread until the
// test lets go; a mutex carries the mandatory label of the descriptor string, if any.
class NameHolder {
public:
    NameHolder(Squat kind, const wchar_t* label)
        : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        holder_ = std::thread([this, kind, label] {
            ScopedHandle object(Create(kind, label));
            SetEvent(ready_.Get());
            WaitForSingleObject(done_.Get(), INFINITE);
            if (kind == Squat::Mutex || kind == Squat::MutexDenyingEveryone)
                ReleaseMutex(object.Get());
        });
        WaitForSingleObject(ready_.Get(), INFINITE);
    }
    ~NameHolder()
    {
        SetEvent(done_.Get());
        holder_.join();
    }

private:
    static HANDLE Create(Squat kind, const wchar_t* label)
    {
        const wchar_t* name = CdEjectorInstanceMutex::kName;
        switch (kind) {
        case Squat::Event:
            return CreateEventW(nullptr, TRUE, FALSE, name);
        case Squat::Section:
            return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name);
        case Squat::MutexDenyingEveryone:
            return CreateMutexWith(std::wstring(L"D:(D;;GA;;;WD)") + label, name);
        case Squat::Mutex:
            break;
        }
        return *label ? CreateMutexWith(label, name) : CreateMutexW(nullptr, TRUE, name);
    }

    static HANDLE CreateMutexWith(const std::wstring& descriptorText, const wchar_t* name)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptorText.c_str(), SDDL_REVISION_1, &descriptor,
                                                                  nullptr))
            return nullptr;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        HANDLE mutex = CreateMutexW(&attributes, TRUE, name);
        LocalFree(descriptor);
        return mutex;
    }

    ScopedHandle ready_;
    ScopedHandle done_;
    std::thread holder_;
};

// What the simulated PC runs, as the ejector sees it.
enum class Pc {
    Windows7,
    WindowsXp,
    // The user's compatibility layer makes GetVersionExW report Windows XP; the token keeps its level.
    Windows7UnderXpLayer,
    // The token's level cannot be read (ERROR_ACCESS_DENIED) although the system has levels.
    Windows7LevelUnreadable,
};

void Prepare(testbed::Machine& pc, Pc kind)
{
    pc.SetWindowsVersion(kind == Pc::WindowsXp ? 5 : 6, 1);
    pc.SetCompatibilityLayerVersion(kind == Pc::Windows7UnderXpLayer ? 5 : 0, kind == Pc::Windows7UnderXpLayer ? 1 : 0);
    pc.Sessions().integrityLevelsUnreadable = kind == Pc::Windows7LevelUnreadable;
}

TEST(EjectorInstance, OnlyAMutexThatCanBeAnotherEjectorsKeepsTheEjectorAway)
{
    testbed::Machine pc;
    struct Case {
        const char* holder;
        Pc system;
        Squat kind;
        const wchar_t* label;
        BOOL runs;
    };
    const Case cases[] = {
        {"ejector started by the service", Pc::Windows7, Squat::Mutex, L"S:(ML;;NWNRNX;;;HI)", FALSE},
        {"program at system integrity", Pc::Windows7, Squat::Mutex, L"S:(ML;;NW;;;SI)", FALSE},
        {"user's program at medium integrity", Pc::Windows7, Squat::Mutex, L"S:(ML;;NW;;;ME)", TRUE},
        {"program at low integrity", Pc::Windows7, Squat::Mutex, L"S:(ML;;NWNRNX;;;LW)", TRUE},
        {"unlabelled mutex", Pc::Windows7, Squat::Mutex, L"", TRUE},
        // Label entries whose SID ends in the high level but is no integrity level (Wine keeps
        // them as given): they say nothing about who made the mutex.
        {"label of SID S-1-5-12288", Pc::Windows7, Squat::Mutex, L"S:(ML;;NW;;;S-1-5-12288)", TRUE},
        {"label of SID S-1-16-0-12288", Pc::Windows7, Squat::Mutex, L"S:(ML;;NW;;;S-1-16-0-12288)", TRUE},
        // The ejector cannot open these, whatever label they would carry.
        {"event of the name", Pc::Windows7, Squat::Event, L"", TRUE},
        {"section of the name", Pc::Windows7, Squat::Section, L"", TRUE},
        {"mutex whose access list denies everyone", Pc::Windows7, Squat::MutexDenyingEveryone, L"S:(ML;;NW;;;HI)", TRUE},
        // Windows 5.x labels nothing: nobody can make a mutex above anybody else there.
        {"another ejector on Windows 5.x", Pc::WindowsXp, Squat::Mutex, L"", FALSE},
        {"event of the name on Windows 5.x", Pc::WindowsXp, Squat::Event, L"", TRUE},
        // A version the user chose says nothing about the system; an unreadable level keeps
        // the rule of a system with levels.
        {"user's unlabelled mutex under the Windows XP layer", Pc::Windows7UnderXpLayer, Squat::Mutex, L"", TRUE},
        {"ejector under the Windows XP layer", Pc::Windows7UnderXpLayer, Squat::Mutex, L"S:(ML;;NWNRNX;;;HI)", FALSE},
        {"unlabelled mutex, own level unreadable", Pc::Windows7LevelUnreadable, Squat::Mutex, L"", TRUE},
    };
    for (const Case& c : cases) {
        Prepare(pc, c.system);
        NameHolder other(c.kind, c.label);
        CdEjectorInstanceMutex mine;
        EXPECT_EQ(mine.TakeInstance(), c.runs) << c.holder;
        EXPECT_FALSE(mine.IsLocked()) << c.holder;
    }
}

// The mask of the named mutex's mandatory label entry as the system keeps it; 0 without one.
ACCESS_MASK StoredLabelMask(const wchar_t* name)
{
    ScopedHandle mutex(OpenMutexW(READ_CONTROL, FALSE, name));
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    void* entry = nullptr;
    ACCESS_MASK mask = 0;
    if (mutex.IsValid() && GetSecurityInfo(mutex.Get(), SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr,
                                           nullptr, nullptr, &sacl, &descriptor) == ERROR_SUCCESS &&
        sacl && sacl->AceCount == 1 && GetAce(sacl, 0, &entry) &&
        static_cast<ACE_HEADER*>(entry)->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE)
        mask = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(entry)->Mask;
    LocalFree(descriptor);
    return mask;
}

TEST(EjectorInstance, FirstInstanceLabelsItsLockAgainstEveryAccessFromBelowAndASecondDoesNotRun)
{
    testbed::Machine pc;
    CdEjectorInstanceMutex first;
    ASSERT_TRUE(first.TakeInstance());
    EXPECT_TRUE(first.IsLocked());
    // Wine enforces no label, so the label is checked as stored: without no-read-up and
    // no-execute-up a program of the user below high could wait on the lock (SYNCHRONIZE) and
    // own it once this ejector lets go, and every later ejector of the session would end.
    ScopedHandle lock(OpenMutexW(READ_CONTROL, FALSE, CdEjectorInstanceMutex::kName));
    EXPECT_EQ(KernelObjectIntegrityLevel(lock.Get()), 0x3000u);
    EXPECT_EQ(StoredLabelMask(CdEjectorInstanceMutex::kName), DWORD(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP | SYSTEM_MANDATORY_LABEL_NO_READ_UP |
                          SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP));
    BOOL secondRuns = TRUE;
    std::thread([&] {
        CdEjectorInstanceMutex second;
        secondRuns = second.TakeInstance();
    }).join();
    EXPECT_FALSE(secondRuns);
    first.Release();
    EXPECT_FALSE(first.IsLocked());
}

}  // namespace
