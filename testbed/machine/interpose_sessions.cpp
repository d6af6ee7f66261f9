//
//  Sessions, tokens, environment blocks, the start of programs as a user, and the process list,
//  answered from the machine's sessions once a test has added one. GetProcAddress hands out
//  the testbed's functions for the names that product code looks up at run time
//  (WTSQueryUserToken, EnumProcesses, QueryFullProcessImageNameW), which link-time
//  interposition alone would miss; they too go to the system while no session is simulated.
//  On a machine that reports Windows 5.x no token's integrity level can be read or set.
//
#include "testbed/machine/Sessions.h"
#include "testbed/machine/Volumes.h"
#include "testbed/machine/interpose.h"

#include "testbed/machine/Machine.h"

#include <windows.h>
#include <userenv.h>
#include <winternl.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

extern "C" NTSTATUS NTAPI LdrGetProcedureAddress(HMODULE module, PANSI_STRING name, ULONG ordinal, PVOID* address);

namespace testbed {

BOOL WINAPI TestbedWTSQueryUserToken(ULONG sessionId, PHANDLE token);
void* ToolhelpReplacement(const char* name);

// The system's GetProcAddress, reached beneath the interposed one.
FARPROC SystemProcAddressOf(HMODULE module, LPCSTR name)
{
    PVOID address = nullptr;
    NTSTATUS status;
    if (reinterpret_cast<ULONG_PTR>(name) >> 16 == 0) {
        status = LdrGetProcedureAddress(module, nullptr, ULONG(reinterpret_cast<ULONG_PTR>(name)), &address);
    } else {
        ANSI_STRING text;
        text.Length = USHORT(std::strlen(name));
        text.MaximumLength = USHORT(text.Length + 1);
        text.Buffer = const_cast<PCHAR>(name);
        status = LdrGetProcedureAddress(module, &text, 0, &address);
    }
    if (status < 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL WINAPI TestbedCreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit);
BOOL WINAPI TestbedDestroyEnvironmentBlock(LPVOID environment);

namespace {

struct SimulatedProcessHandle : OpenObject {
    explicit SimulatedProcessHandle(DWORD id) : processId(id) {}
    DWORD processId;
};

struct SimulatedThreadHandle : OpenObject {};

struct TokenHandle : OpenObject {
    explicit TokenHandle(std::shared_ptr<TokenState> state) : token(std::move(state)) {}
    std::shared_ptr<TokenState> token;
};

typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);

template <typename F>
F SystemFunction(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    if (!handle)
        handle = ::LoadLibraryExW(module, nullptr, 0);
    return handle ? reinterpret_cast<F>(reinterpret_cast<void*>(SystemProcAddressOf(handle, name))) : nullptr;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// The machine whose sessions answer, or null when the system does.
Machine* SimulatingMachine()
{
    Machine* machine = Machine::Current();
    return machine && machine->Sessions().Active() ? machine : nullptr;
}

std::shared_ptr<TokenState> TokenOf(Machine& machine, HANDLE handle)
{
    auto* token = dynamic_cast<TokenHandle*>(machine.FindHandle(handle).get());
    return token ? token->token : nullptr;
}

HANDLE NewTokenHandle(Machine& machine, std::shared_ptr<TokenState> state)
{
    return machine.OpenHandle(std::make_shared<TokenHandle>(std::move(state)));
}

// Environment blocks that CreateEnvironmentBlock made here.
std::mutex g_blocksLock;
std::set<void*> g_blocks;

DWORD WINAPI TestbedWTSGetActiveConsoleSessionId()
{
    if (Machine* machine = SimulatingMachine())
        return machine->Sessions().ConsoleSession();
    static auto real = SystemFunction<decltype(&::WTSGetActiveConsoleSessionId)>(L"kernel32.dll", "WTSGetActiveConsoleSessionId");
    return real();
}

}  // namespace

BOOL WINAPI TestbedWTSQueryUserToken(ULONG sessionId, PHANDLE token)
{
    Machine* machine = SimulatingMachine();
    if (!machine) {
        static auto real = SystemFunction<decltype(&::WTSQueryUserToken)>(L"wtsapi32.dll", "WTSQueryUserToken");
        return real ? real(sessionId, token) : Fail(ERROR_PROC_NOT_FOUND);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    if (!token)
        return Fail(ERROR_INVALID_PARAMETER);
    *token = nullptr;
    UserSessions& sessions = machine->Sessions();
    if (!sessions.HasSession(sessionId))
        return Fail(ERROR_FILE_NOT_FOUND);
    const SimulatedUser* user = sessions.SessionUser(sessionId);
    if (!user)
        return Fail(ERROR_NO_TOKEN);
    auto state = std::make_shared<TokenState>();
    state->user = user;
    state->sessionId = sessionId;
    *token = NewTokenHandle(*machine, state);
    return TRUE;
}

namespace {

HANDLE WINAPI TestbedOpenProcess(DWORD access, BOOL inherit, DWORD processId)
{
    if (Machine* machine = SimulatingMachine()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (SimulatedProcess* process = machine->Sessions().FindProcess(processId)) {
            if (process->limitedAccessOnly && (access & ~DWORD(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE))) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            return machine->OpenHandle(std::make_shared<SimulatedProcessHandle>(processId));
        }
        if (processId >= kFirstSimulatedProcessId) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    static auto real = SystemFunction<decltype(&::OpenProcess)>(L"kernel32.dll", "OpenProcess");
    return real(access, inherit, processId);
}

BOOL WINAPI TestbedOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (auto* handle = dynamic_cast<SimulatedProcessHandle*>(machine->FindHandle(process).get())) {
            if (!token)
                return Fail(ERROR_INVALID_PARAMETER);
            SimulatedProcess* found = machine->Sessions().FindProcess(handle->processId);
            if (!found)
                return Fail(ERROR_ACCESS_DENIED);
            *token = NewTokenHandle(*machine, found->token);
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::OpenProcessToken)>(L"advapi32.dll", "OpenProcessToken");
    return real(process, access, token);
}

BOOL WINAPI TestbedDuplicateTokenEx(HANDLE existing, DWORD access, LPSECURITY_ATTRIBUTES attributes,
                                    SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE token)
{
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (auto state = TokenOf(*machine, existing)) {
            if (!token)
                return Fail(ERROR_INVALID_PARAMETER);
            auto copy = std::make_shared<TokenState>(*state);
            copy->primary = type == TokenPrimary;
            *token = NewTokenHandle(*machine, copy);
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::DuplicateTokenEx)>(L"advapi32.dll", "DuplicateTokenEx");
    return real(existing, access, attributes, level, type, token);
}

// Copies the answer when it fits; the length it needs in any case.
BOOL Answer(const std::vector<BYTE>& answer, LPVOID information, DWORD length, PDWORD returned)
{
    if (!returned)
        return Fail(ERROR_NOACCESS);
    *returned = DWORD(answer.size());
    if (!information || length < answer.size())
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(information, answer.data(), answer.size());
    return TRUE;
}

// A SID_AND_ATTRIBUTES whose SID follows it in the same block, as the system lays them out.
std::vector<BYTE> SidAndAttributes(const std::vector<BYTE>& sid, DWORD attributes)
{
    std::vector<BYTE> block(sizeof(SID_AND_ATTRIBUTES) + sid.size());
    auto* head = reinterpret_cast<SID_AND_ATTRIBUTES*>(block.data());
    head->Sid = block.data() + sizeof(SID_AND_ATTRIBUTES);
    head->Attributes = attributes;
    std::memcpy(block.data() + sizeof(SID_AND_ATTRIBUTES), sid.data(), sid.size());
    return block;
}

std::vector<BYTE> LabelSid(DWORD level)
{
    std::vector<BYTE> sid = {1, 1, 0, 0, 0, 0, 0, 16};
    for (int shift = 0; shift < 32; shift += 8)
        sid.push_back(static_cast<BYTE>(level >> shift));
    return sid;
}

BOOL WINAPI TestbedGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID information, DWORD length,
                                       PDWORD returned)
{
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        // An information class that 5.x does not know: STATUS_INVALID_INFO_CLASS, whatever the token.
        if (kind == TokenIntegrityLevel && !machine->HasIntegrityLevels())
            return Fail(ERROR_INVALID_PARAMETER);
        // The program's own token as well as the simulated ones.
        if (kind == TokenIntegrityLevel && machine->Sessions().integrityLevelsUnreadable)
            return Fail(ERROR_ACCESS_DENIED);
        if (auto state = TokenOf(*machine, token)) {
            // The blocks hold pointers into themselves: they are built at the caller's address.
            std::vector<BYTE> answer;
            switch (kind) {
            case TokenUser:
                answer = SidAndAttributes(state->user->sid, 0);
                break;
            case TokenIntegrityLevel:
                answer = SidAndAttributes(LabelSid(state->integrityLevel), SE_GROUP_INTEGRITY | SE_GROUP_INTEGRITY_ENABLED);
                break;
            case TokenSessionId:
                answer.resize(sizeof(DWORD));
                std::memcpy(answer.data(), &state->sessionId, sizeof(DWORD));
                break;
            case TokenType: {
                TOKEN_TYPE type = state->primary ? TokenPrimary : TokenImpersonation;
                answer.resize(sizeof type);
                std::memcpy(answer.data(), &type, sizeof type);
                break;
            }
            default:
                return Fail(ERROR_INVALID_PARAMETER);
            }
            if (!Answer(answer, information, length, returned))
                return FALSE;
            if (kind == TokenUser || kind == TokenIntegrityLevel)
                static_cast<SID_AND_ATTRIBUTES*>(information)->Sid = static_cast<BYTE*>(information) + sizeof(SID_AND_ATTRIBUTES);
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::GetTokenInformation)>(L"advapi32.dll", "GetTokenInformation");
    return real(token, kind, information, length, returned);
}

BOOL WINAPI TestbedSetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID information, DWORD length)
{
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (kind == TokenIntegrityLevel && !machine->HasIntegrityLevels())
            return Fail(ERROR_INVALID_PARAMETER);
        if (auto state = TokenOf(*machine, token)) {
            if (!information)
                return Fail(ERROR_NOACCESS);
            if (kind == TokenSessionId) {
                if (length < sizeof(DWORD))
                    return Fail(ERROR_BAD_LENGTH);
                std::memcpy(&state->sessionId, information, sizeof(DWORD));
                return TRUE;
            }
            if (kind != TokenIntegrityLevel)
                return Fail(ERROR_INVALID_PARAMETER);
            if (length < sizeof(TOKEN_MANDATORY_LABEL))
                return Fail(ERROR_BAD_LENGTH);
            PSID sid = static_cast<TOKEN_MANDATORY_LABEL*>(information)->Label.Sid;
            static const SID_IDENTIFIER_AUTHORITY kLabel = SECURITY_MANDATORY_LABEL_AUTHORITY;
            if (!sid || !IsValidSid(sid) || *GetSidSubAuthorityCount(sid) != 1 ||
                std::memcmp(GetSidIdentifierAuthority(sid), &kLabel, sizeof kLabel) != 0)
                return Fail(ERROR_INVALID_SID);
            state->integrityLevel = *GetSidSubAuthority(sid, 0);
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::SetTokenInformation)>(L"advapi32.dll", "SetTokenInformation");
    return real(token, kind, information, length);
}

BOOL WINAPI TestbedLookupAccountSidW(LPCWSTR system, PSID sid, LPWSTR name, LPDWORD nameLength, LPWSTR domain,
                                     LPDWORD domainLength, PSID_NAME_USE use)
{
    if (Machine* machine = SimulatingMachine()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (const SimulatedUser* user = machine->Sessions().FindUserBySid(sid)) {
            if (!nameLength || !domainLength || !use)
                return Fail(ERROR_INVALID_PARAMETER);
            bool fits = name && domain && *nameLength > user->name.size() && *domainLength > user->domain.size();
            if (!fits) {
                *nameLength = DWORD(user->name.size() + 1);
                *domainLength = DWORD(user->domain.size() + 1);
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            std::memcpy(name, user->name.c_str(), (user->name.size() + 1) * sizeof(WCHAR));
            std::memcpy(domain, user->domain.c_str(), (user->domain.size() + 1) * sizeof(WCHAR));
            *nameLength = DWORD(user->name.size());
            *domainLength = DWORD(user->domain.size());
            *use = SidTypeUser;
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::LookupAccountSidW)>(L"advapi32.dll", "LookupAccountSidW");
    return real(system, sid, name, nameLength, domain, domainLength, use);
}

}  // namespace

BOOL WINAPI TestbedCreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit)
{
    Machine* machine = Machine::Current();
    std::shared_ptr<TokenState> state;
    if (machine)
        state = TokenOf(*machine, token);
    if (!state) {
        static auto real = SystemFunction<decltype(&::CreateEnvironmentBlock)>(L"userenv.dll", "CreateEnvironmentBlock");
        return real(environment, token, inherit);
    }
    if (!environment)
        return Fail(ERROR_INVALID_PARAMETER);
    *environment = nullptr;
    if (machine->Sessions().environmentFails)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    // The test's own environment with the token's user name: a real block, so that a program
    // started for real can be given it.
    std::wstring block;
    if (LPWCH own = GetEnvironmentStringsW()) {
        for (LPWCH entry = own; *entry; entry += lstrlenW(entry) + 1)
            if (_wcsnicmp(entry, L"USERNAME=", 9) != 0)
                block.append(entry).push_back(L'\0');
        FreeEnvironmentStringsW(own);
    }
    block.append(L"USERNAME=" + state->user->name).push_back(L'\0');
    block.push_back(L'\0');
    void* copy = HeapAlloc(GetProcessHeap(), 0, block.size() * sizeof(WCHAR));
    if (!copy)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(copy, block.data(), block.size() * sizeof(WCHAR));
    {
        std::lock_guard<std::mutex> hold(g_blocksLock);
        g_blocks.insert(copy);
    }
    machine->Sessions().NoteEnvironmentBlock(+1);
    *environment = copy;
    return TRUE;
}

BOOL WINAPI TestbedDestroyEnvironmentBlock(LPVOID environment)
{
    {
        std::lock_guard<std::mutex> hold(g_blocksLock);
        if (g_blocks.erase(environment)) {
            HeapFree(GetProcessHeap(), 0, environment);
            if (Machine* machine = Machine::Current())
                machine->Sessions().NoteEnvironmentBlock(-1);
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::DestroyEnvironmentBlock)>(L"userenv.dll", "DestroyEnvironmentBlock");
    return real(environment);
}

namespace {

bool Writable(const void* address)
{
    MEMORY_BASIC_INFORMATION info = {};
    if (!address || !VirtualQuery(address, &info, sizeof info))
        return false;
    return (info.Protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The program a command line names when no application name is given: its first word, or
// the quoted text at its start.
std::wstring FirstWord(const std::wstring& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t end = commandLine.find(L'"', 1);
        return commandLine.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return commandLine.substr(0, commandLine.find(L' '));
}

BOOL WINAPI TestbedCreateProcessAsUserW(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                        LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                                        BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                        LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
{
    Machine* machine = Machine::Current();
    std::shared_ptr<TokenState> state;
    if (machine)
        state = TokenOf(*machine, token);
    if (!state) {
        static auto real = SystemFunction<decltype(&::CreateProcessAsUserW)>(L"advapi32.dll", "CreateProcessAsUserW");
        return real(token, application, commandLine, processAttributes, threadAttributes, inherit, flags, environment,
                    directory, startup, info);
    }
    std::unique_lock<std::recursive_mutex> hold(machine->Lock());
    UserSessions& sessions = machine->Sessions();
    Launch launch = {};
    launch.sessionId = state->sessionId;
    launch.user = state->user ? state->user->Key() : std::wstring();
    launch.integrityLevel = state->integrityLevel;
    launch.primaryToken = state->primary;
    launch.hasApplicationName = application != nullptr;
    launch.applicationName = application ? application : L"";
    launch.commandLine = commandLine ? commandLine : L"";
    launch.commandLineWritable = Writable(commandLine);
    launch.creationFlags = flags;
    {
        std::lock_guard<std::mutex> blocks(g_blocksLock);
        launch.environmentFromToken = environment && g_blocks.count(environment);
    }
    if (!info || !startup || startup->cb != sizeof(STARTUPINFOW) || (!application && !commandLine))
        launch.error = ERROR_INVALID_PARAMETER;
    else if (!state->primary)
        launch.error = ERROR_BAD_TOKEN_TYPE;
    else if (sessions.pipeNotConnectedFailures > 0) {
        --sessions.pipeNotConnectedFailures;
        launch.error = ERROR_PIPE_NOT_CONNECTED;
    } else if (sessions.startForReal) {
        std::vector<WCHAR> writable(launch.commandLine.begin(), launch.commandLine.end());
        writable.push_back(0);
        static auto realCreate = SystemFunction<decltype(&::CreateProcessW)>(L"kernel32.dll", "CreateProcessW");
        if (realCreate(application, writable.data(), processAttributes, threadAttributes, inherit, flags, environment,
                       directory, startup, info))
            launch.processId = info->dwProcessId;
        else
            launch.error = GetLastError();
    } else {
        std::wstring image = application ? launch.applicationName : FirstWord(launch.commandLine);
        SimulatedProcess& process = sessions.StartProcess(state->sessionId, *state->user, image, state->integrityLevel);
        launch.processId = process.id;
        info->hProcess = machine->OpenHandle(std::make_shared<SimulatedProcessHandle>(process.id));
        info->hThread = machine->OpenHandle(std::make_shared<SimulatedThreadHandle>());
        info->dwProcessId = process.id;
        info->dwThreadId = process.id + 1;
    }
    sessions.RecordLaunch(launch);
    if (launch.error)
        return Fail(launch.error);
    return TRUE;
}

BOOL WINAPI TestbedEnumProcesses(DWORD* ids, DWORD size, DWORD* returned)
{
    Machine* machine = SimulatingMachine();
    if (!machine) {
        static auto real = SystemFunction<EnumProcessesFn>(L"kernel32.dll", "K32EnumProcesses");
        return real(ids, size, returned);
    }
    if (!ids || !returned)
        return Fail(ERROR_NOACCESS);
    std::vector<DWORD> running = machine->Sessions().ProcessIds();
    DWORD count = std::min<DWORD>(DWORD(running.size()), size / sizeof(DWORD));
    std::memcpy(ids, running.data(), count * sizeof(DWORD));
    *returned = count * sizeof(DWORD);
    return TRUE;
}

BOOL WINAPI TestbedQueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, PDWORD size)
{
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (auto* handle = dynamic_cast<SimulatedProcessHandle*>(machine->FindHandle(process).get())) {
            SimulatedProcess* found = machine->Sessions().FindProcess(handle->processId);
            if (!found)
                return Fail(ERROR_INVALID_HANDLE);
            if (!name || !size)
                return Fail(ERROR_INVALID_PARAMETER);
            std::wstring path = found->imagePath;
            // The NT form names the volume's device; a drive the machine does not simulate
            // keeps its letter behind the "\??\" prefix.
            if (flags & PROCESS_NAME_NATIVE) {
                Volume* volume = path.size() > 2 && path[1] == L':' ? machine->FindVolumeByLetter(path[0]) : nullptr;
                path = volume ? volume->deviceName + path.substr(2) : L"\\??\\" + path;
            }
            if (*size < path.size() + 1)
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            std::memcpy(name, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
            *size = DWORD(path.size());
            return TRUE;
        }
    }
    static auto real = SystemFunction<decltype(&::QueryFullProcessImageNameW)>(L"kernel32.dll", "QueryFullProcessImageNameW");
    return real(process, flags, name, size);
}

FARPROC WINAPI TestbedGetProcAddress(HMODULE module, LPCSTR name)
{
    // A library file of the machine's (interpose_system.cpp) exports only what it lists.
    Machine* machine = Machine::Current();
    if (LibraryFile* library = machine ? machine->FindLibraryFile(module) : nullptr) {
        auto exported = reinterpret_cast<ULONG_PTR>(name) >> 16 ? library->exports.find(name) : library->exports.end();
        if (exported == library->exports.end()) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return reinterpret_cast<FARPROC>(exported->second);
    }
    FARPROC found = SystemProcAddressOf(module, name);
    if (!found || reinterpret_cast<ULONG_PTR>(name) >> 16 == 0)
        return found;
    struct Replacement {
        const char* name;
        void* function;
    };
    static const Replacement kReplacements[] = {
        {"WTSQueryUserToken", reinterpret_cast<void*>(&TestbedWTSQueryUserToken)},
        {"EnumProcesses", reinterpret_cast<void*>(&TestbedEnumProcesses)},
        {"K32EnumProcesses", reinterpret_cast<void*>(&TestbedEnumProcesses)},
        {"QueryFullProcessImageNameW", reinterpret_cast<void*>(&TestbedQueryFullProcessImageNameW)},
    };
    for (const Replacement& replacement : kReplacements)
        if (std::strcmp(name, replacement.name) == 0)
            return reinterpret_cast<FARPROC>(replacement.function);
    if (void* toolhelp = ToolhelpReplacement(name))
        return reinterpret_cast<FARPROC>(toolhelp);
    return found;
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(WTSGetActiveConsoleSessionId, 0, testbed::TestbedWTSGetActiveConsoleSessionId)
TESTBED_INTERPOSE(WTSQueryUserToken, 8, testbed::TestbedWTSQueryUserToken)
TESTBED_INTERPOSE(OpenProcess, 12, testbed::TestbedOpenProcess)
TESTBED_INTERPOSE(OpenProcessToken, 12, testbed::TestbedOpenProcessToken)
TESTBED_INTERPOSE(DuplicateTokenEx, 24, testbed::TestbedDuplicateTokenEx)
TESTBED_INTERPOSE(GetTokenInformation, 20, testbed::TestbedGetTokenInformation)
TESTBED_INTERPOSE(SetTokenInformation, 16, testbed::TestbedSetTokenInformation)
TESTBED_INTERPOSE(LookupAccountSidW, 28, testbed::TestbedLookupAccountSidW)
TESTBED_INTERPOSE(CreateEnvironmentBlock, 12, testbed::TestbedCreateEnvironmentBlock)
TESTBED_INTERPOSE(DestroyEnvironmentBlock, 4, testbed::TestbedDestroyEnvironmentBlock)
TESTBED_INTERPOSE(CreateProcessAsUserW, 44, testbed::TestbedCreateProcessAsUserW)
TESTBED_INTERPOSE(QueryFullProcessImageNameW, 16, testbed::TestbedQueryFullProcessImageNameW)
TESTBED_INTERPOSE(GetProcAddress, 8, testbed::TestbedGetProcAddress)

// The Wtsapi32 and Userenv headers do not declare their functions as imports, so product
// code calls them by their own names, which the import libraries define beside the pointers:
// the testbed defines those names too, and the import libraries' members are never linked.
extern "C" {
BOOL WINAPI WTSQueryUserToken(ULONG sessionId, PHANDLE token)
{
    return testbed::TestbedWTSQueryUserToken(sessionId, token);
}
BOOL WINAPI CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit)
{
    return testbed::TestbedCreateEnvironmentBlock(environment, token, inherit);
}
BOOL WINAPI DestroyEnvironmentBlock(LPVOID environment)
{
    return testbed::TestbedDestroyEnvironmentBlock(environment);
}
}
