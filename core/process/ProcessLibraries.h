#pragma once
//
//  The libraries the process enumerators use, loaded at run time and kept process-wide.
//
#include "core/process/DynamicLibrary.h"

#include <windows.h>
#include <tlhelp32.h>

// QueryFullProcessImageNameW, from Windows Vista on; the library is usable without it.
class Kernel32Library : public DynamicLibrary {
public:
    typedef BOOL(WINAPI* QueryFullProcessImageNameWFn)(HANDLE, DWORD, LPWSTR, PDWORD);

    Kernel32Library() : DynamicLibrary(L"Kernel32.DLL") {}
    QueryFullProcessImageNameWFn QueryFullProcessImageNameW = nullptr;

protected:
    BOOL Resolve() override;
    void Clear() override;
};

class PsapiLibrary : public DynamicLibrary {
public:
    typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
    typedef BOOL(WINAPI* EnumProcessModulesFn)(HANDLE, HMODULE*, DWORD, LPDWORD);
    typedef DWORD(WINAPI* GetModuleFileNameExAFn)(HANDLE, HMODULE, LPSTR, DWORD);
    typedef DWORD(WINAPI* GetModuleFileNameExWFn)(HANDLE, HMODULE, LPWSTR, DWORD);

    PsapiLibrary() : DynamicLibrary(L"PSAPI.DLL") {}
    // Loads the process-status library and Kernel32's: TRUE only when both load.
    BOOL Load() override;
    Kernel32Library& Kernel32() { return kernel32_; }

    EnumProcessesFn EnumProcesses = nullptr;
    EnumProcessModulesFn EnumProcessModules = nullptr;
    GetModuleFileNameExAFn GetModuleFileNameExA = nullptr;
    GetModuleFileNameExWFn GetModuleFileNameExW = nullptr;

protected:
    BOOL Resolve() override;
    void Clear() override;

private:
    Kernel32Library kernel32_;
};

class Toolhelp32Library : public DynamicLibrary {
public:
    typedef HANDLE(WINAPI* CreateToolhelp32SnapshotFn)(DWORD, DWORD);
    typedef BOOL(WINAPI* Module32Fn)(HANDLE, LPMODULEENTRY32W);
    typedef BOOL(WINAPI* Process32Fn)(HANDLE, LPPROCESSENTRY32W);

    Toolhelp32Library() : DynamicLibrary(L"Kernel32.DLL") {}

    CreateToolhelp32SnapshotFn CreateToolhelp32Snapshot = nullptr;
    Module32Fn Module32FirstW = nullptr;
    Module32Fn Module32NextW = nullptr;
    Process32Fn Process32FirstW = nullptr;
    Process32Fn Process32NextW = nullptr;

protected:
    BOOL Resolve() override;
    void Clear() override;
};

// The process-wide library objects, created on first use (not loaded) and deleted by
// ReleaseProcessEnumeratorSingletons.
PsapiLibrary& GetPsapiLibrary();
Toolhelp32Library& GetToolhelp32Library();
void ReleaseProcessLibraries();
