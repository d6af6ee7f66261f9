//
//  Toolhelp snapshots of the simulated processes, for the process enumeration's second
//  provider. Product code finds these functions through GetProcAddress only; the interposed
//  GetProcAddress hands them out. Snapshots of real processes, and every call while no session
//  is simulated, go to the system.
//
#include "testbed/machine/Sessions.h"
#include "testbed/machine/interpose.h"

#include "testbed/machine/Machine.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace testbed {
namespace {

struct Snapshot : OpenObject {
    struct Entry {
        DWORD processId;
        std::wstring path;
    };
    bool modules = false;
    std::vector<Entry> entries;
    size_t next = 0;
};

const wchar_t kKernel32[] = L"kernel32.dll";

template <typename F>
F System(const char* name)
{
    // The interposed GetProcAddress hands these names back to the testbed: the system's own
    // come from the export table beneath it.
    return reinterpret_cast<F>(reinterpret_cast<void*>(SystemProcAddressOf(GetModuleHandleW(kKernel32), name)));
}

Snapshot* SnapshotOf(Machine* machine, HANDLE handle, std::shared_ptr<OpenObject>* keep)
{
    if (!machine)
        return nullptr;
    *keep = machine->FindHandle(handle);
    return dynamic_cast<Snapshot*>(keep->get());
}

std::wstring FileName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void Copy(WCHAR* target, size_t size, const std::wstring& text)
{
    size_t count = std::min(text.size(), size - 1);
    std::memcpy(target, text.c_str(), count * sizeof(WCHAR));
    target[count] = 0;
}

HANDLE WINAPI TestbedCreateToolhelp32Snapshot(DWORD flags, DWORD processId)
{
    Machine* machine = Machine::Current();
    if (machine && machine->Sessions().Active()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        UserSessions& sessions = machine->Sessions();
        auto snapshot = std::make_shared<Snapshot>();
        if (flags & TH32CS_SNAPPROCESS) {
            for (DWORD id : sessions.ProcessIds())
                snapshot->entries.push_back({id, sessions.FindProcess(id)->imagePath});
            return machine->OpenHandle(snapshot);
        }
        if ((flags & (TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32)) && processId >= kFirstSimulatedProcessId) {
            SimulatedProcess* process = sessions.FindProcess(processId);
            if (!process) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            snapshot->modules = true;
            snapshot->entries.push_back({processId, process->imagePath});
            return machine->OpenHandle(snapshot);
        }
    }
    static auto real = System<decltype(&::CreateToolhelp32Snapshot)>("CreateToolhelp32Snapshot");
    return real(flags, processId);
}

BOOL NextProcess(Snapshot& snapshot, LPPROCESSENTRY32W entry)
{
    if (!entry || entry->dwSize != sizeof(PROCESSENTRY32W) || snapshot.modules) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (snapshot.next >= snapshot.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const Snapshot::Entry& found = snapshot.entries[snapshot.next++];
    DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof *entry);
    entry->dwSize = size;
    entry->th32ProcessID = found.processId;
    entry->cntThreads = 1;
    Copy(entry->szExeFile, MAX_PATH, FileName(found.path));
    return TRUE;
}

BOOL NextModule(Snapshot& snapshot, LPMODULEENTRY32W entry)
{
    if (!entry || entry->dwSize != sizeof(MODULEENTRY32W) || !snapshot.modules) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (snapshot.next >= snapshot.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const Snapshot::Entry& found = snapshot.entries[snapshot.next++];
    DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof *entry);
    entry->dwSize = size;
    entry->th32ProcessID = found.processId;
    entry->th32ModuleID = 1;
    Copy(entry->szModule, MAX_MODULE_NAME32 + 1, FileName(found.path));
    Copy(entry->szExePath, MAX_PATH, found.path);
    return TRUE;
}

BOOL WINAPI TestbedProcess32FirstW(HANDLE handle, LPPROCESSENTRY32W entry)
{
    std::shared_ptr<OpenObject> keep;
    if (Snapshot* snapshot = SnapshotOf(Machine::Current(), handle, &keep)) {
        snapshot->next = 0;
        return NextProcess(*snapshot, entry);
    }
    static auto real = System<decltype(&::Process32FirstW)>("Process32FirstW");
    return real(handle, entry);
}

BOOL WINAPI TestbedProcess32NextW(HANDLE handle, LPPROCESSENTRY32W entry)
{
    std::shared_ptr<OpenObject> keep;
    if (Snapshot* snapshot = SnapshotOf(Machine::Current(), handle, &keep))
        return NextProcess(*snapshot, entry);
    static auto real = System<decltype(&::Process32NextW)>("Process32NextW");
    return real(handle, entry);
}

BOOL WINAPI TestbedModule32FirstW(HANDLE handle, LPMODULEENTRY32W entry)
{
    std::shared_ptr<OpenObject> keep;
    if (Snapshot* snapshot = SnapshotOf(Machine::Current(), handle, &keep)) {
        snapshot->next = 0;
        return NextModule(*snapshot, entry);
    }
    static auto real = System<decltype(&::Module32FirstW)>("Module32FirstW");
    return real(handle, entry);
}

BOOL WINAPI TestbedModule32NextW(HANDLE handle, LPMODULEENTRY32W entry)
{
    std::shared_ptr<OpenObject> keep;
    if (Snapshot* snapshot = SnapshotOf(Machine::Current(), handle, &keep))
        return NextModule(*snapshot, entry);
    static auto real = System<decltype(&::Module32NextW)>("Module32NextW");
    return real(handle, entry);
}

}  // namespace

void* ToolhelpReplacement(const char* name)
{
    static const struct {
        const char* name;
        void* function;
    } kReplacements[] = {
        {"CreateToolhelp32Snapshot", reinterpret_cast<void*>(&TestbedCreateToolhelp32Snapshot)},
        {"Process32FirstW", reinterpret_cast<void*>(&TestbedProcess32FirstW)},
        {"Process32NextW", reinterpret_cast<void*>(&TestbedProcess32NextW)},
        {"Module32FirstW", reinterpret_cast<void*>(&TestbedModule32FirstW)},
        {"Module32NextW", reinterpret_cast<void*>(&TestbedModule32NextW)},
    };
    for (const auto& replacement : kReplacements)
        if (std::strcmp(name, replacement.name) == 0)
            return replacement.function;
    return nullptr;
}

}  // namespace testbed

TESTBED_INTERPOSE(CreateToolhelp32Snapshot, 8, testbed::TestbedCreateToolhelp32Snapshot)
TESTBED_INTERPOSE(Process32FirstW, 8, testbed::TestbedProcess32FirstW)
TESTBED_INTERPOSE(Process32NextW, 8, testbed::TestbedProcess32NextW)
TESTBED_INTERPOSE(Module32FirstW, 8, testbed::TestbedModule32FirstW)
TESTBED_INTERPOSE(Module32NextW, 8, testbed::TestbedModule32NextW)
