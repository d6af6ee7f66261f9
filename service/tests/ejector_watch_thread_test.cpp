//
//  The ejector watch on the simulated PC: Explorer users in several sessions, the ejectors it
//  starts for them with raised tokens, the ones it leaves alone with and without integrity
//  levels, a program path spelt with short names, and a service folder without the ejector
//  program.
//
#include "service/discs/CWatchIMAPICDEjectorThread.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "testbed/machine/Machine.h"
#include "testbed/machine/Sessions.h"
#include "testbed/machine/interpose.h"

#include <gtest/gtest.h>

#include <process.h>

#include <atomic>
#include <string>
#include <vector>

// The threads that one thread of the test starts: the class library starts every worker
// thread through the runtime's _beginthreadex.
namespace {

std::atomic<DWORD> g_countedThread{0};
std::atomic<int> g_threadsStarted{0};

uintptr_t __cdecl CountedBeginThreadEx(void* security, unsigned stackSize, _beginthreadex_proc_type start, void* argument,
                                       unsigned flags, unsigned* threadId)
{
    static auto real = testbed::RealFunction<decltype(&::_beginthreadex)>(L"msvcrt.dll", "_beginthreadex");
    if (GetCurrentThreadId() == g_countedThread)
        ++g_threadsStarted;
    return real(security, stackSize, start, argument, flags, threadId);
}

}  // namespace

// A C runtime import: no argument size in its name on x86.
TESTBED_CHECK_TYPE(_beginthreadex, CountedBeginThreadEx);
extern "C" {
#ifdef _WIN64
extern void* testbed_imp_beginthreadex __asm__("__imp__beginthreadex");
#else
extern void* testbed_imp_beginthreadex __asm__("__imp___beginthreadex");
#endif
void* testbed_imp_beginthreadex = reinterpret_cast<void*>(&CountedBeginThreadEx);
}

namespace {

const wchar_t kExplorer[] = L"C:\\Windows\\explorer.exe";

// A real service folder with a long name, holding the ejector program, under Wine's temp
// folder; the service's program file lies there too as far as GetModuleFileNameW tells.
class EjectorWatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        folder = std::wstring(temp) + L"QEVRIN service folder with a long name";
        CreateDirectoryW(folder.c_str(), nullptr);
        ejector = folder + L"\\QEVRINcde.exe";
        HANDLE file = CreateFileW(ejector.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        pc.programFile = folder + L"\\QEVRINs.exe";
        sessions.AddSession(0, nullptr);
        sessions.AddSession(1, &alice);
        sessions.AddSession(2, &bob);
        sessions.SetConsoleSession(1);
        UsePsapiProcessEnumerator();
    }

    void TearDown() override
    {
        ReleaseProcessEnumeratorSingletons();
        DeleteFileW(ejector.c_str());
        RemoveDirectoryW(folder.c_str());
    }

    // One check of a watch that is not running as a thread, on the test's own thread.
    void Check(const std::wstring& path)
    {
        CWatchIMAPICDEjectorThread watch;
        watch.SetEjectorPath(path.c_str());
        watch.EnsureEjectorRunning();
    }

    std::vector<testbed::Launch> LaunchesSince(size_t first)
    {
        std::vector<testbed::Launch> all = sessions.Launches();
        return std::vector<testbed::Launch>(all.begin() + std::min(first, all.size()), all.end());
    }

    void ExpectNothingLeftOpen()
    {
        EXPECT_EQ(pc.OpenHandleCount(), 0u);
        EXPECT_EQ(sessions.OpenEnvironmentBlocks(), 0);
    }

    testbed::Machine pc;
    testbed::UserSessions& sessions = pc.Sessions();
    testbed::SimulatedUser& alice = sessions.AddUser(L"OFFICE", L"alice");
    testbed::SimulatedUser& bob = sessions.AddUser(L"OFFICE", L"bob");
    std::wstring folder;
    std::wstring ejector;
};

TEST_F(EjectorWatch, StartsOneHighIntegrityEjectorForEachExplorerUserWhoHasNone)
{
    sessions.StartProcess(1, alice, kExplorer);
    sessions.StartProcess(2, bob, kExplorer);

    Check(ejector);
    auto launches = LaunchesSince(0);
    ASSERT_EQ(launches.size(), 2u);
    const struct {
        const wchar_t* user;
        DWORD session;
    } expected[] = {{L"OFFICE\\alice", 1}, {L"OFFICE\\bob", 2}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(launches[i].user, expected[i].user);
        EXPECT_EQ(launches[i].sessionId, expected[i].session);
        EXPECT_EQ(launches[i].integrityLevel, testbed::kHighIntegrity);
        EXPECT_TRUE(launches[i].primaryToken);
        EXPECT_EQ(launches[i].applicationName, ejector);
        EXPECT_TRUE(launches[i].environmentFromToken);
        EXPECT_EQ(launches[i].error, 0u);
    }

    // Both run now: the next tick starts none.
    Check(ejector);
    EXPECT_TRUE(LaunchesSince(2).empty());

    // Alice's ejector was closed: hers alone is started again.
    sessions.EndProcess(launches[0].processId);
    Check(ejector);
    auto again = LaunchesSince(2);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].user, L"OFFICE\\alice");

    // Carol logs on in session 3: she gets hers at the next tick.
    testbed::SimulatedUser& carol = sessions.AddUser(L"OFFICE", L"carol");
    sessions.AddSession(3, &carol);
    sessions.StartProcess(3, carol, kExplorer);
    Check(ejector);
    auto third = LaunchesSince(3);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0].user, L"OFFICE\\carol");
    EXPECT_EQ(third[0].sessionId, 3u);
    ExpectNothingLeftOpen();
}

TEST_F(EjectorWatch, LeavesAloneUsersWhoseEjectorCountsAndStartsOthersOnlyAsHighAsTheSystemAllows)
{
    // Nobody logged on: nothing to do.
    Check(ejector);
    EXPECT_TRUE(sessions.Launches().empty());

    // Alice in two sessions, her ejector running at high integrity in the second: one Explorer
    // entry per user, and a copy at her own level found first does not hide the real one.
    sessions.AddSession(3, &alice);
    sessions.StartProcess(1, alice, kExplorer);
    sessions.StartProcess(3, alice, kExplorer);
    sessions.StartProcess(1, alice, ejector);
    sessions.StartProcess(3, alice, ejector, testbed::kHighIntegrity);
    // Bob runs a program of the same name from elsewhere, and the ejector at his own level,
    // where he can hold it suspended: neither is the service's ejector where levels exist.
    sessions.StartProcess(2, bob, kExplorer);
    sessions.StartProcess(2, bob, L"C:\\Temp\\QEVRINcde.exe", testbed::kHighIntegrity);
    sessions.StartProcess(2, bob, ejector);
    // Carol runs none.
    testbed::SimulatedUser& carol = sessions.AddUser(L"OFFICE", L"carol");
    sessions.AddSession(4, &carol);
    sessions.StartProcess(4, carol, kExplorer);

    const struct {
        const char* system;
        DWORD major;
        bool levelsUnreadable;
        std::vector<std::wstring> started;
        DWORD startedAt;
    } cases[] = {
        {"6.1", 6, false, {L"OFFICE\\bob", L"OFFICE\\carol"}, testbed::kHighIntegrity},
        // A token whose level cannot be read cannot be raised: no ejector is started at the
        // user's level, which would not count at the next check either.
        {"6.1, levels unreadable", 6, true, {}, 0},
        // No integrity levels: every ejector counts, and the token needs no raise.
        {"5.1", 5, false, {L"OFFICE\\carol"}, testbed::kMediumIntegrity},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        pc.SetWindowsVersion(c.major, 1);
        sessions.integrityLevelsUnreadable = c.levelsUnreadable;
        const size_t before = sessions.Launches().size();
        Check(ejector);
        auto launches = LaunchesSince(before);
        ASSERT_EQ(launches.size(), c.started.size());
        for (size_t i = 0; i < launches.size(); ++i) {
            EXPECT_EQ(launches[i].user, c.started[i]);
            EXPECT_EQ(launches[i].integrityLevel, c.startedAt);
            EXPECT_EQ(launches[i].error, 0u);
            sessions.EndProcess(launches[i].processId);
        }
        ExpectNothingLeftOpen();
    }
}

TEST_F(EjectorWatch, ShortAndLongSpellingsOfTheProgramPathMatch)
{
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(ejector.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, DWORD(MAX_PATH));
    if (_wcsicmp(shortPath, ejector.c_str()) == 0)
        GTEST_SKIP() << "this file system gives the folder no short name";

    // The service's path in short names, the running ejector's in long ones, and the other
    // way round: either way the user's ejector is found and none is started.
    const struct {
        std::wstring watched;
        std::wstring running;
    } cases[] = {{shortPath, ejector}, {ejector, shortPath}};
    sessions.StartProcess(1, alice, kExplorer);
    for (const auto& c : cases) {
        testbed::SimulatedProcess& running = sessions.StartProcess(1, alice, c.running, testbed::kHighIntegrity);
        Check(c.watched);
        EXPECT_TRUE(sessions.Launches().empty()) << "watching " << std::string(c.watched.begin(), c.watched.end());
        sessions.EndProcess(running.id);
    }
}

TEST_F(EjectorWatch, ThreadChecksAtOnceAndStopsWithinItsWait)
{
    sessions.StartProcess(1, alice, kExplorer);
    sessions.StartProcess(2, bob, kExplorer);
    CWatchIMAPICDEjectorThread* thread = StartEjectorWatchThread();
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(std::wstring(thread->EjectorPath().GetString()), ejector);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (sessions.Launches().size() < 2 && GetTickCount64() < deadline)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    StopEjectorWatchThread(thread);
    EXPECT_EQ(sessions.Launches().size(), 2u);
    ExpectNothingLeftOpen();
}

TEST_F(EjectorWatch, NoThreadWithoutTheEjectorProgram)
{
    sessions.StartProcess(1, alice, kExplorer);
    ASSERT_TRUE(DeleteFileW(ejector.c_str()));
    g_threadsStarted = 0;
    g_countedThread = GetCurrentThreadId();
    EXPECT_EQ(StartEjectorWatchThread(), nullptr);
    // A service folder that cannot be read has no ejector either.
    pc.programFile = L"QEVRINs.exe";
    EXPECT_EQ(StartEjectorWatchThread(), nullptr);
    g_countedThread = 0;
    // Not even a thread that is made only to be ended again: that costs the service's start
    // the whole stop wait, since a thread never resumed does not take its quit message.
    EXPECT_EQ(g_threadsStarted, 0);
    EXPECT_TRUE(sessions.Launches().empty());
}

}  // namespace
