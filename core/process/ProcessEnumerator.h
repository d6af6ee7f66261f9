#pragma once
//
//  Lists running processes, gives a process's image path as a drive path, finds processes by
//  image path or file name, and lists a process's top-level windows. The providers implement
//  the first two; the searches are built on them here.
//
#include "classlib/CString.h"

#include <windows.h>

#include <vector>

class ProcessEnumerator {
public:
    virtual ~ProcessEnumerator() = default;

    // TRUE when the list is not empty.
    virtual BOOL EnumProcessIds(std::vector<DWORD>& ids) = 0;
    // Empty when the path cannot be read.
    virtual void GetImagePath(CString& path, DWORD processId) = 0;
    // Processes whose image path equals the path, without regard to case; TRUE when any.
    virtual BOOL FindByImagePath(const CString& path, std::vector<DWORD>& ids);
    // Processes whose image file name with extension equals the name, without regard to case.
    virtual BOOL FindByFileName(const CString& fileName, std::vector<DWORD>& ids);
    // The process's top-level windows in Z order, topmost first; TRUE when any.
    virtual BOOL GetProcessWindows(DWORD processId, std::vector<HWND>& windows);
};

class PsapiProcessEnumerator : public ProcessEnumerator {
public:
    PsapiProcessEnumerator();
    BOOL EnumProcessIds(std::vector<DWORD>& ids) override;
    void GetImagePath(CString& path, DWORD processId) override;
};

class ToolhelpProcessEnumerator : public ProcessEnumerator {
public:
    ToolhelpProcessEnumerator();
    BOOL EnumProcessIds(std::vector<DWORD>& ids) override;
    void GetImagePath(CString& path, DWORD processId) override;
};
