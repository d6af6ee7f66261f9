#include "core/process/ProcessEnumeratorHolder.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool Contains(const std::vector<DWORD>& ids, DWORD id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool SameNoCase(const CString& a, const std::wstring& b)
{
    return CompareStringOrdinal(a, -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring SystemProgram(const wchar_t* name)
{
    // A 32-bit process on a 64-bit system is redirected to the WOW64 folder and reports that.
    wchar_t folder[MAX_PATH] = {};
#ifndef _WIN64
    if (!GetSystemWow64DirectoryW(folder, MAX_PATH))
#endif
        GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

// A real program started for the test, with its top-level window up; ended on destruction.
class RunningNotepad {
public:
    RunningNotepad() : path(SystemProgram(L"notepad.exe"))
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + path + L"\"";
        started_ = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
        if (!started_)
            return;
        WaitForInputIdle(process_.hProcess, 10000);
        for (int i = 0; i < 200 && !HasWindow(); ++i)
            Sleep(50);
    }
    ~RunningNotepad()
    {
        if (!started_)
            return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    RunningNotepad(const RunningNotepad&) = delete;
    RunningNotepad& operator=(const RunningNotepad&) = delete;

    bool Started() const { return started_ != FALSE; }
    DWORD Id() const { return process_.dwProcessId; }
    bool HasWindow() const
    {
        std::pair<DWORD, bool> search{process_.dwProcessId, false};
        EnumWindows(NoteOwnWindow, reinterpret_cast<LPARAM>(&search));
        return search.second;
    }

    const std::wstring path;

private:
    static BOOL CALLBACK NoteOwnWindow(HWND window, LPARAM context)
    {
        auto* search = reinterpret_cast<std::pair<DWORD, bool>*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        search->second = search->second || owner == search->first;
        return TRUE;
    }

    BOOL started_ = FALSE;
    PROCESS_INFORMATION process_ = {};
};

class ProcessEnumeration : public ::testing::Test {
protected:
    void SetUp() override { ReleaseProcessEnumeratorSingletons(); }
    void TearDown() override { ReleaseProcessEnumeratorSingletons(); }

    // What one provider sees of the running program and of this test process.
    void ExpectFinds(const RunningNotepad& notepad)
    {
        ProcessEnumeratorProxy proxy;
        ASSERT_NE(proxy.Get(), nullptr);
        std::vector<DWORD> ids;
        ASSERT_TRUE(proxy.EnumProcessIds(ids));
        EXPECT_TRUE(Contains(ids, notepad.Id()));
        EXPECT_TRUE(Contains(ids, GetCurrentProcessId()));

        CString image;
        proxy.GetImagePath(image, notepad.Id());
        EXPECT_TRUE(SameNoCase(image, notepad.path)) << std::wstring(image.GetString()).size();
        ASSERT_TRUE(proxy.FindByImagePath(CString(notepad.path.c_str()), ids));
        EXPECT_TRUE(Contains(ids, notepad.Id()));
        ASSERT_TRUE(proxy.FindByFileName(CString(L"NOTEPAD.EXE"), ids));
        EXPECT_TRUE(Contains(ids, notepad.Id()));
        EXPECT_FALSE(proxy.FindByFileName(CString(L"no-such-program.exe"), ids));
        EXPECT_TRUE(ids.empty());

        // The test runs from the Unix tree, which Wine shows as drive Z:.
        wchar_t own[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        proxy.GetImagePath(image, GetCurrentProcessId());
        EXPECT_TRUE(SameNoCase(image, own));
        EXPECT_TRUE(SameNoCase(image.Left(3), L"Z:\\"));
        proxy.GetImagePath(image, 0);
        EXPECT_TRUE(image.IsEmpty());
    }
};

TEST_F(ProcessEnumeration, EachProviderFindsAStartedProgramByPathAndName)
{
    RunningNotepad notepad;
    ASSERT_TRUE(notepad.Started());
    UsePsapiProcessEnumerator();
    ExpectFinds(notepad);
    UseToolhelpProcessEnumerator();
    ExpectFinds(notepad);
}

TEST_F(ProcessEnumeration, WithPsapiMissingToolhelpIsChosenAndFindsTheSame)
{
    RunningNotepad notepad;
    ASSERT_TRUE(notepad.Started());
    testbed::Machine pc;
    pc.RemoveLibrary(L"PSAPI.DLL");
    ChooseProcessEnumerator();
    ASSERT_NE(dynamic_cast<ToolhelpProcessEnumeratorFactory*>(ProcessEnumeratorHolder::Instance(false)->Factory()), nullptr);
    ExpectFinds(notepad);
}

TEST_F(ProcessEnumeration, PsapiIsChosenWhenItLoads)
{
    ChooseProcessEnumerator();
    EXPECT_NE(dynamic_cast<PsapiProcessEnumeratorFactory*>(ProcessEnumeratorHolder::Instance(false)->Factory()), nullptr);
}

TEST_F(ProcessEnumeration, WithNoLibraryNothingIsFoundAndNothingBreaks)
{
    testbed::Machine pc;
    pc.RemoveLibrary(L"PSAPI.DLL");
    pc.RemoveLibrary(L"Kernel32.DLL");
    ChooseProcessEnumerator();
    ProcessEnumeratorProxy proxy;
    std::vector<DWORD> ids{1};
    EXPECT_FALSE(proxy.EnumProcessIds(ids));
    EXPECT_TRUE(ids.empty());
    EXPECT_FALSE(proxy.FindByFileName(CString(L"notepad.exe"), ids));
    CString image(L"old");
    proxy.GetImagePath(image, GetCurrentProcessId());
    EXPECT_TRUE(image.IsEmpty());
}

TEST_F(ProcessEnumeration, ProxyWithoutChosenProviderFindsNothing)
{
    ProcessEnumeratorProxy proxy;
    EXPECT_EQ(proxy.Get(), nullptr);
    std::vector<DWORD> ids{1};
    EXPECT_FALSE(proxy.EnumProcessIds(ids));
    EXPECT_TRUE(ids.empty());
    EXPECT_FALSE(proxy.Release());
}

TEST_F(ProcessEnumeration, OwnerHandsItsProviderBackOnce)
{
    UseToolhelpProcessEnumerator();
    ProcessEnumeratorOwner owner;
    ASSERT_NE(owner.Get(), nullptr);
    UsePsapiProcessEnumerator();  // a provider goes back through the factory installed now
    EXPECT_TRUE(owner.Release());
    EXPECT_EQ(owner.Get(), nullptr);
    EXPECT_FALSE(owner.Release());
}

TEST_F(ProcessEnumeration, WindowsOfAProcessWithAndWithoutTopLevelWindows)
{
    RunningNotepad notepad;
    ASSERT_TRUE(notepad.Started());
    UsePsapiProcessEnumerator();
    ProcessEnumeratorProxy proxy;
    std::vector<HWND> windows;
    EXPECT_TRUE(proxy.GetProcessWindows(notepad.Id(), windows));
    ASSERT_FALSE(windows.empty());
    DWORD owner = 0;
    GetWindowThreadProcessId(windows.front(), &owner);
    EXPECT_EQ(owner, notepad.Id());

    windows.assign(1, HWND(1));
    EXPECT_FALSE(proxy.GetProcessWindows(GetCurrentProcessId(), windows));  // a console test
    EXPECT_TRUE(windows.empty());
    EXPECT_FALSE(proxy.GetProcessWindows(0x7FFFFFF0, windows));
}

}  // namespace
