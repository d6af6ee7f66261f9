#pragma once
//
//  Sessions, users, their processes and tokens on the simulated PC, and what was started in
//  them. Once a test adds a session, the session and token calls (WTSGetActiveConsoleSessionId,
//  WTSQueryUserToken, OpenProcessToken, DuplicateTokenEx, Get/SetTokenInformation,
//  LookupAccountSidW, CreateEnvironmentBlock, CreateProcessAsUserW) and the process list
//  (EnumProcesses, OpenProcess, QueryFullProcessImageNameW) answer from here.
//
//      auto& sessions = pc.Sessions();
//      auto& alice = sessions.AddUser(L"OFFICE", L"alice");
//      sessions.AddSession(1, &alice);
//      sessions.SetConsoleSession(1);
//      sessions.StartProcess(1, alice, L"C:\\Windows\\explorer.exe");
//      sessions.pipeNotConnectedFailures = 3;     // the first three starts fail
//      pc.SetWindowsVersion(5, 1);                // no integrity levels: their queries fail
//      ... product code runs ...
//      sessions.Launches()                        // what CreateProcessAsUserW was asked
//
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testbed {

class Machine;

const DWORD kMediumIntegrity = 0x2000;
const DWORD kHighIntegrity = 0x3000;
const DWORD kSystemIntegrity = 0x4000;
const DWORD kNoConsoleSession = 0xFFFFFFFF;
// Simulated process ids lie far above those the Wine server hands out.
const DWORD kFirstSimulatedProcessId = 0x7E000;

struct SimulatedUser {
    std::wstring domain;
    std::wstring name;
    std::vector<BYTE> sid;
    std::wstring Key() const { return domain + L"\\" + name; }
};

// One token: a process's own, or one that a call made.
struct TokenState {
    const SimulatedUser* user = nullptr;
    DWORD sessionId = 0;
    DWORD integrityLevel = kMediumIntegrity;
    bool primary = true;
};

struct SimulatedProcess {
    DWORD id;
    DWORD sessionId;
    const SimulatedUser* user;
    std::wstring imagePath;
    bool running;
    std::shared_ptr<TokenState> token;    // what OpenProcessToken opens
    // Opens only for PROCESS_QUERY_LIMITED_INFORMATION, as a protected process does.
    bool limitedAccessOnly;
};

// One CreateProcessAsUserW call with a simulated token, whether or not it started anything.
struct Launch {
    DWORD sessionId;
    std::wstring user;                 // DOMAIN\name
    DWORD integrityLevel;
    bool primaryToken;
    bool hasApplicationName;
    std::wstring applicationName;
    std::wstring commandLine;
    bool commandLineWritable;
    DWORD creationFlags;
    bool environmentFromToken;         // a block that CreateEnvironmentBlock made
    DWORD error;                       // 0 when it started
    DWORD processId;
};

class UserSessions {
public:
    explicit UserSessions(Machine& machine) : machine_(machine) {}
    UserSessions(const UserSessions&) = delete;
    UserSessions& operator=(const UserSessions&) = delete;

    // True once a session was added: from then on the calls above answer from here.
    bool Active() const;

    SimulatedUser& AddUser(const std::wstring& domain, const std::wstring& name);
    // A session with the user logged on, or none (null).
    void AddSession(DWORD id, const SimulatedUser* user);
    void SetConsoleSession(DWORD id) { consoleSession_ = id; }
    DWORD ConsoleSession() const { return consoleSession_; }
    const SimulatedUser* SessionUser(DWORD id) const;
    bool HasSession(DWORD id) const;

    SimulatedProcess& StartProcess(DWORD sessionId, const SimulatedUser& user, const std::wstring& imagePath,
                                   DWORD integrityLevel = kMediumIntegrity);
    void EndProcess(DWORD id);
    SimulatedProcess* FindProcess(DWORD id);      // running ones
    std::vector<DWORD> ProcessIds() const;        // running ones, in start order
    const SimulatedUser* FindUserBySid(const void* sid) const;

    // Failures to inject: the next N starts fail with ERROR_PIPE_NOT_CONNECTED, as while a
    // session is still being set up; environment blocks cannot be made; no token's integrity
    // level can be read (ERROR_ACCESS_DENIED) although the system has integrity levels.
    int pipeNotConnectedFailures = 0;
    bool environmentFails = false;
    bool integrityLevelsUnreadable = false;
    // Starts the program for real (CreateProcessW, in this session of Wine) as well.
    bool startForReal = false;

    std::vector<Launch> Launches() const;
    void RecordLaunch(Launch launch);
    // Environment blocks made and not yet destroyed.
    int OpenEnvironmentBlocks() const { return environmentBlocks_; }
    void NoteEnvironmentBlock(int change) { environmentBlocks_ += change; }

private:
    Machine& machine_;
    std::vector<std::unique_ptr<SimulatedUser>> users_;
    std::vector<std::pair<DWORD, const SimulatedUser*>> sessions_;
    std::vector<std::unique_ptr<SimulatedProcess>> processes_;
    std::vector<Launch> launches_;
    DWORD consoleSession_ = kNoConsoleSession;
    DWORD nextProcessId_ = kFirstSimulatedProcessId;
    int environmentBlocks_ = 0;
};

// The system's GetProcAddress beneath the interposed one, for the testbed's own look-ups of
// names that the interposed one hands to the testbed.
FARPROC SystemProcAddressOf(HMODULE module, LPCSTR name);

// The SID of a user of the simulated PC's domain, S-1-5-21-1004336348-1177238915-682003330-<rid>.
std::vector<BYTE> UserSid(DWORD rid);

}  // namespace testbed
