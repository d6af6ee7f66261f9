#include "core/process/ProcessLibraries.h"

namespace {

PsapiLibrary* g_psapi = nullptr;
Toolhelp32Library* g_toolhelp = nullptr;

}  // namespace

BOOL Kernel32Library::Resolve()
{
    QueryFullProcessImageNameW = Entry<QueryFullProcessImageNameWFn>("QueryFullProcessImageNameW");
    return TRUE;
}

void Kernel32Library::Clear()
{
    QueryFullProcessImageNameW = nullptr;
}

BOOL PsapiLibrary::Load()
{
    BOOL own = DynamicLibrary::Load();
    BOOL kernel32 = kernel32_.Load();
    return own && kernel32;
}

BOOL PsapiLibrary::Resolve()
{
    EnumProcesses = Entry<EnumProcessesFn>("EnumProcesses");
    EnumProcessModules = Entry<EnumProcessModulesFn>("EnumProcessModules");
    GetModuleFileNameExA = Entry<GetModuleFileNameExAFn>("GetModuleFileNameExA");
    GetModuleFileNameExW = Entry<GetModuleFileNameExWFn>("GetModuleFileNameExW");
    return EnumProcesses && EnumProcessModules && GetModuleFileNameExA && GetModuleFileNameExW;
}

void PsapiLibrary::Clear()
{
    EnumProcesses = nullptr;
    EnumProcessModules = nullptr;
    GetModuleFileNameExA = nullptr;
    GetModuleFileNameExW = nullptr;
}

BOOL Toolhelp32Library::Resolve()
{
    CreateToolhelp32Snapshot = Entry<CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot");
    Module32FirstW = Entry<Module32Fn>("Module32FirstW");
    Module32NextW = Entry<Module32Fn>("Module32NextW");
    Process32FirstW = Entry<Process32Fn>("Process32FirstW");
    Process32NextW = Entry<Process32Fn>("Process32NextW");
    return CreateToolhelp32Snapshot && Module32FirstW && Module32NextW && Process32FirstW && Process32NextW;
}

void Toolhelp32Library::Clear()
{
    CreateToolhelp32Snapshot = nullptr;
    Module32FirstW = nullptr;
    Module32NextW = nullptr;
    Process32FirstW = nullptr;
    Process32NextW = nullptr;
}

PsapiLibrary& GetPsapiLibrary()
{
    if (!g_psapi)
        g_psapi = new PsapiLibrary;
    return *g_psapi;
}

Toolhelp32Library& GetToolhelp32Library()
{
    if (!g_toolhelp)
        g_toolhelp = new Toolhelp32Library;
    return *g_toolhelp;
}

void ReleaseProcessLibraries()
{
    delete g_psapi;
    g_psapi = nullptr;
    delete g_toolhelp;
    g_toolhelp = nullptr;
}
