// Starting the session programs on the simulated PC: the application name and the quoted
// command line, the user and session of the start, the retry while a session is being set up,
// and every token, environment block and handle closed again.
#include "service/session/SessionLauncher.h"
#include "service/session/UserTokens.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "testbed/machine/Machine.h"
#include "testbed/machine/Sessions.h"

#include "classlib/ScopedHandle.h"

#include <gtest/gtest.h>

#include <wtsapi32.h>

#include <string>
#include <vector>

namespace servicetest {
namespace {

using namespace Quelmar;

const wchar_t kRemounter[] = L"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe";

// The service installed under a folder with a blank, alice at the console in session 1, bob
// in session 2; Sleep moves the machine's clock instead of waiting.
class SessionLaunch : public ::testing::Test {
protected:
    SessionLaunch()
    {
        pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
        pc.sleepAdvancesClock = true;
        sessions.AddSession(0, nullptr);
        sessions.AddSession(1, &alice);
        sessions.AddSession(2, &bob);
        sessions.SetConsoleSession(1);
    }

    // Nothing of a start outlives it: tokens, process and thread handles, environment blocks.
    void ExpectNothingLeftOpen()
    {
        EXPECT_EQ(pc.OpenHandleCount(), 0u);
        EXPECT_EQ(sessions.OpenEnvironmentBlocks(), 0);
    }

    testbed::Machine pc;
    testbed::UserSessions& sessions = pc.Sessions();
    testbed::SimulatedUser& alice = sessions.AddUser(L"OFFICE", L"alice");
    testbed::SimulatedUser& bob = sessions.AddUser(L"OFFICE", L"bob");
};

TEST_F(SessionLaunch, RemounterGetsItsPathAsApplicationNameAndQuotedInTheCommandLine)
{
    CString path = ProgramInFolder(GetServiceModuleFolder(), L"QEVRINrmt.exe");
    EXPECT_EQ(std::wstring(path.GetString()), kRemounter);
    LaunchInActiveConsoleSession(path, L"EF");

    auto launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    const testbed::Launch& launch = launches[0];
    EXPECT_EQ(launch.error, 0u);
    EXPECT_TRUE(launch.hasApplicationName);
    EXPECT_EQ(launch.applicationName, kRemounter);
    EXPECT_EQ(launch.commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" EF");
    EXPECT_TRUE(launch.commandLineWritable);
    EXPECT_EQ(launch.sessionId, 1u);
    EXPECT_EQ(launch.user, L"OFFICE\\alice");
    EXPECT_TRUE(launch.primaryToken);
    EXPECT_TRUE(launch.environmentFromToken);
    EXPECT_EQ(launch.creationFlags, DWORD(CREATE_UNICODE_ENVIRONMENT));
    // The user's own token, not raised.
    EXPECT_EQ(launch.integrityLevel, testbed::kMediumIntegrity);
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, NobodyAtTheConsoleStartsNothing)
{
    sessions.SetConsoleSession(testbed::kNoConsoleSession);
    LaunchInActiveConsoleSession(kRemounter, L"E");
    sessions.SetConsoleSession(0);   // the console shows the logon screen: no user
    LaunchInActiveConsoleSession(kRemounter, L"E");
    EXPECT_TRUE(sessions.Launches().empty());
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, PipeNotConnectedThreeTimesStartsOnTheFourthTry)
{
    sessions.pipeNotConnectedFailures = 3;
    DWORD before = GetTickCount();
    LaunchInActiveConsoleSession(kRemounter, L"E");
    auto launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 4u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(launches[i].error, DWORD(ERROR_PIPE_NOT_CONNECTED));
    EXPECT_EQ(launches[3].error, 0u);
    EXPECT_EQ(launches[3].commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINrmt.exe\" E");
    // One second between the tries.
    EXPECT_GE(GetTickCount() - before, 3000u);
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, SessionThatStaysUnreadyIsGivenUpAfterTenSeconds)
{
    sessions.pipeNotConnectedFailures = 100;
    LaunchInActiveConsoleSession(kRemounter, L"E");
    EXPECT_EQ(sessions.Launches().size(), 11u);
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, OtherFailureIsNotTriedAgain)
{
    sessions.AddSession(3, &bob);
    ScopedHandle token;
    ASSERT_TRUE(WTSQueryUserToken(3, token.Receive()));
    // An impersonation token cannot start a process.
    ScopedHandle impersonation;
    ASSERT_TRUE(DuplicateTokenEx(token.Get(), 0, nullptr, SecurityImpersonation, TokenImpersonation, impersonation.Receive()));
    EXPECT_EQ(StartProcessAsUser(kRemounter, impersonation.Get()), 0u);
    EXPECT_EQ(sessions.Launches().size(), 1u);
}

TEST_F(SessionLaunch, CommandLineThatDoesNotFitStartsNothing)
{
    std::vector<WCHAR> commandLine;
    // Quotes, the path, a blank and the arguments, with the terminator: 260 fit, 261 do not.
    CString path(L'p', 200);
    EXPECT_TRUE(BuildCommandLine(path, CString(L'E', 56), commandLine));
    EXPECT_EQ(commandLine.size(), kCommandLineChars);
    EXPECT_EQ(commandLine.back(), 0);
    EXPECT_FALSE(BuildCommandLine(path, CString(L'E', 57), commandLine));
    EXPECT_TRUE(commandLine.empty());

    LaunchInActiveConsoleSession(path, CString(L'E', 57));
    LaunchInSession(path, CString(L'E', 57), 2);
    EXPECT_TRUE(sessions.Launches().empty());
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, EjectorAtLogonRunsAsTheSessionsUserRaisedToHighIntegrity)
{
    StartCdEjector(2);
    auto launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].sessionId, 2u);
    EXPECT_EQ(launches[0].user, L"OFFICE\\bob");
    EXPECT_EQ(launches[0].integrityLevel, testbed::kHighIntegrity);
    EXPECT_EQ(launches[0].applicationName, L"C:\\Program Files\\QEVRIN\\QEVRINcde.exe");
    EXPECT_EQ(launches[0].commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINcde.exe\"");
    ExpectNothingLeftOpen();

    StartCdEjector(0);   // nobody logged on there
    StartCdEjector(7);   // no such session
    // A token whose level cannot be read cannot be raised: nothing is started.
    sessions.integrityLevelsUnreadable = true;
    StartCdEjector(2);
    EXPECT_EQ(sessions.Launches().size(), 1u);
    ExpectNothingLeftOpen();

    sessions.integrityLevelsUnreadable = false;
    pc.RemoveLibrary(L"wtsapi32.dll");
    StartCdEjector(2);
    EXPECT_EQ(sessions.Launches().size(), 1u);
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, EnvironmentThatCannotBeMadeStartsNothing)
{
    sessions.environmentFails = true;
    LaunchInActiveConsoleSession(kRemounter, L"E");
    EXPECT_TRUE(sessions.Launches().empty());
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, StartAsUserWithAnExplorerTokenRaisedToHighIntegrity)
{
    testbed::SimulatedProcess& explorer = sessions.StartProcess(2, bob, L"C:\\Windows\\explorer.exe");
    {
        ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, explorer.id));
        ASSERT_TRUE(process.IsValid());
        ScopedHandle token;
        ASSERT_TRUE(OpenProcessToken(process.Get(), TOKEN_DUPLICATE | TOKEN_QUERY, token.Receive()));
        ScopedHandle primary;
        ASSERT_TRUE(DuplicateTokenEx(token.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                                     primary.Receive()));
        ASSERT_TRUE(SetHighIntegrityLevel(primary.Get()));
        sessions.pipeNotConnectedFailures = 1;
        DWORD id = StartProcessAsUser(L"C:\\Program Files\\QEVRIN\\QEVRINcde.exe", primary.Get());
        EXPECT_NE(id, 0u);
        auto launches = sessions.Launches();
        ASSERT_EQ(launches.size(), 2u);
        EXPECT_EQ(launches[1].processId, id);
        EXPECT_EQ(launches[1].integrityLevel, testbed::kHighIntegrity);
        EXPECT_EQ(launches[1].sessionId, 2u);
        EXPECT_EQ(launches[1].applicationName, L"C:\\Program Files\\QEVRIN\\QEVRINcde.exe");
        EXPECT_EQ(launches[1].commandLine, L"\"C:\\Program Files\\QEVRIN\\QEVRINcde.exe\"");
        EXPECT_TRUE(launches[1].commandLineWritable);
        // The process's own token is left as it was.
        EXPECT_EQ(explorer.token->integrityLevel, testbed::kMediumIntegrity);
    }
    ExpectNothingLeftOpen();
}

TEST_F(SessionLaunch, IntegrityIsRaisedOnlyFromBelowHighAndOnlyWhereLevelsExist)
{
    const struct {
        DWORD major;
        bool levelsUnreadable;
        DWORD level;
        BOOL result;
        DWORD expected;
    } cases[] = {
        {6, false, 0x1000, TRUE, testbed::kHighIntegrity},
        {6, false, testbed::kMediumIntegrity, TRUE, testbed::kHighIntegrity},
        {6, false, testbed::kMediumIntegrity + 0x100, TRUE, testbed::kHighIntegrity},
        {6, false, testbed::kHighIntegrity, TRUE, testbed::kHighIntegrity},
        {6, false, testbed::kSystemIntegrity, TRUE, testbed::kSystemIntegrity},
        // A level that cannot be read is not known to be high: the raise fails.
        {6, true, testbed::kMediumIntegrity, FALSE, testbed::kMediumIntegrity},
        // Windows 5.x has no levels, and nothing to raise.
        {5, false, testbed::kMediumIntegrity, TRUE, testbed::kMediumIntegrity},
    };
    for (const auto& each : cases) {
        pc.SetWindowsVersion(each.major, 1);
        sessions.integrityLevelsUnreadable = each.levelsUnreadable;
        testbed::SimulatedProcess& process = sessions.StartProcess(1, alice, L"C:\\Windows\\explorer.exe", each.level);
        ScopedHandle handle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process.id));
        ScopedHandle token;
        ASSERT_TRUE(OpenProcessToken(handle.Get(), TOKEN_ALL_ACCESS, token.Receive()));
        EXPECT_EQ(SetHighIntegrityLevel(token.Get()), each.result) << each.major << " " << std::hex << each.level;
        EXPECT_EQ(process.token->integrityLevel, each.expected) << each.major << " " << std::hex << each.level;
    }
}

TEST_F(SessionLaunch, ProcessUsersHoldTheFirstProcessOfEachUser)
{
    testbed::SimulatedProcess& aliceFirst = sessions.StartProcess(1, alice, L"C:\\Windows\\explorer.exe");
    sessions.StartProcess(1, alice, L"C:\\Windows\\notepad.exe");
    testbed::SimulatedProcess& bobs = sessions.StartProcess(2, bob, L"C:\\Windows\\Explorer.EXE");
    sessions.StartProcess(3, alice, L"C:\\Windows\\explorer.exe");
    testbed::SimulatedProcess& ended = sessions.StartProcess(2, bob, L"C:\\Windows\\explorer.exe");
    sessions.EndProcess(ended.id);
    testbed::SimulatedProcess& guarded = sessions.StartProcess(4, bob, L"C:\\Windows\\explorer.exe");
    guarded.limitedAccessOnly = true;

    // Both providers of the process enumeration see the same users.
    for (void (*choose)() : {&UsePsapiProcessEnumerator, &UseToolhelpProcessEnumerator}) {
        choose();
        std::vector<DWORD> ids;
        {
            ProcessEnumeratorProxy processes;
            ASSERT_TRUE(processes.EnumProcessIds(ids));
            EXPECT_EQ(ids.size(), 5u);
            ids.push_back(ended.id);
            ids.push_back(0);
        }
        UserProcessMap users;
        ASSERT_TRUE(GetProcessUsers(ids, L"explorer.exe", FALSE, users));
        ASSERT_EQ(users.size(), 3u);
        EXPECT_EQ(users[L"OFFICE\\ALICE"], aliceFirst.id);
        EXPECT_EQ(users[L"OFFICE\\BOB"], bobs.id);
        // A process that cannot be opened for its token still counts, with no user; one that
        // ended has no image to match.
        EXPECT_EQ(users[L""], guarded.id);

        users.clear();
        ASSERT_TRUE(GetProcessUsers(ids, L"c:\\windows\\notepad.exe", TRUE, users));
        EXPECT_EQ(users.size(), 1u);
        EXPECT_FALSE(GetProcessUsers(ids, L"QEVRINcde.exe", FALSE, users));
        ReleaseProcessEnumeratorSingletons();
        ExpectNothingLeftOpen();
    }
}

std::wstring SystemProgram(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A program under a folder with a blank, and a program planted where an unquoted command line
// would lead Windows first: only the real one writes the mark.
TEST_F(SessionLaunch, RealStartRunsTheProgramUnderTheFolderWithABlank)
{
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring base = std::wstring(temp) + L"qevrin";
    std::wstring folder = base + L" launch";
    std::wstring program = folder + L"\\cmd.exe";
    std::wstring planted = base + L".exe";
    std::wstring mark = std::wstring(temp) + L"qevrin-launch-mark.txt";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(SystemProgram(L"cmd.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(SystemProgram(L"hostname.exe").c_str(), planted.c_str(), FALSE));
    DeleteFileW(mark.c_str());

    pc.sleepAdvancesClock = false;
    sessions.startForReal = true;
    LaunchInActiveConsoleSession(program.c_str(), (L"/c echo ran>\"" + mark + L"\"").c_str());
    auto launches = sessions.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].error, 0u);
    EXPECT_NE(launches[0].processId, 0u);
    DWORD deadline = GetTickCount() + 10000;
    while (!FileExists(mark) && int(deadline - GetTickCount()) > 0)
        Sleep(50);
    EXPECT_TRUE(FileExists(mark)) << "the program in the folder with a blank did not run";
    ExpectNothingLeftOpen();

    for (int i = 0; i < 100 && !(DeleteFileW(program.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND); ++i)
        Sleep(50);
    DeleteFileW(planted.c_str());
    DeleteFileW(mark.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(ServiceFolder, IsTheProgramFolderWithoutTrailingBackslash)
{
    const struct {
        const wchar_t* program;
        const wchar_t* folder;
    } cases[] = {
        {L"C:\\Program Files\\QEVRIN\\QEVRINs.exe", L"C:\\Program Files\\QEVRIN"},
        {L"C:\\QEVRINs.exe", L"C:\\"},
        {L"\\\\server\\share\\QEVRINs.exe", L"\\\\server\\share"},
    };
    testbed::Machine pc;
    for (const auto& each : cases) {
        pc.programFile = each.program;
        EXPECT_EQ(std::wstring(GetServiceModuleFolder().GetString()), each.folder);
    }
    // Longer than the first buffer: read whole after the buffer grows.
    std::wstring deep = L"D:\\" + std::wstring(700, L'd');
    pc.programFile = deep + L"\\QEVRINs.exe";
    EXPECT_EQ(std::wstring(GetServiceModuleFolder().GetString()), deep);
    EXPECT_EQ(std::wstring(ProgramInFolder(L"C:\\", L"QEVRINrmt.exe").GetString()), L"C:\\QEVRINrmt.exe");
}

}  // namespace
}  // namespace servicetest
