//
//  The ejector watch on the simulated PC: Explorer users in several sessions, the ejectors it
//  starts for them with raised tokens, those it leaves alone, a program path spelt with short
//  names, and a service folder without the ejector program.
//
#include "service/discs/CWatchIMAPICDEjectorThread.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "testbed/machine/Machine.h"
#include "testbed/machine/Sessions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST_F(EjectorWatch, LeavesAloneUsersWithAnEjectorAndTicksWithoutExplorer)
{
    // Nobody logged on: nothing to do.
    Check(ejector);
    EXPECT_TRUE(sessions.Launches().empty());

    // Alice in two sessions, her ejector running in the second: one Explorer entry per user.
    sessions.AddSession(3, &alice);
    sessions.StartProcess(1, alice, kExplorer);
    sessions.StartProcess(3, alice, kExplorer);
    sessions.StartProcess(3, alice, ejector, testbed::kHighIntegrity);
    // Bob runs a program of the same name from elsewhere: not the ejector.
    sessions.StartProcess(2, bob, kExplorer);
    sessions.StartProcess(2, bob, L"C:\\Temp\\QEVRINcde.exe");
    Check(ejector);
    auto launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].user, L"OFFICE\\bob");
    ExpectNothingLeftOpen();
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
    EXPECT_EQ(StartEjectorWatchThread(), nullptr);
    EXPECT_TRUE(sessions.Launches().empty());
    // A service folder that cannot be read has no ejector either.
    pc.programFile = L"QEVRINs.exe";
    EXPECT_EQ(StartEjectorWatchThread(), nullptr);
}

}  // namespace
