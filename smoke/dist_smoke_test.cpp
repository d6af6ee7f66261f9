//
//  The programs of dist/ as they ship, started as a user would under Wine, with no testbed: no
//  driver to open, no service to answer, no disc recorder. Each case copies its program from
//  dist/ into a folder of its own and watches what a user would see. scripts/smoke runs every
//  case in a process of its own, all at once, so that the programs' own waits (a minute for the
//  driver, a minute for the service's answer) pass side by side; the x86 and the x64 cases get
//  a Wine prefix each, because the setting tool runs once per session.
//
#include "core/store/StoreConstants.h"
#include "tool/resource.h"
#include "tool/tests/child_process.h"
#include "tool/tests/ui_driver.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

const char kX86[] = "x86";
const char kX64[] = "x64";
const wchar_t kServiceName[] = L"QEVRINs";
// A blank in the path, as under Program Files: the service's command line must be quoted.
const wchar_t kSmokeRoot[] = L"C:\\Program Files\\QEVRIN smoke";

// The driver is retried for a minute, and so is the tool's version request: every wait on the
// product runs to a deadline well beyond that.
const DWORD kProductWaitMs = 150000;
const DWORD kStartMs = 30000;
const DWORD kEndMs = 30000;

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrowed(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// A Linux path as Wine's Z: drive shows it.
std::wstring WindowsPath(const std::string& hostPath)
{
    std::wstring path = L"Z:";
    for (char c : hostPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::wstring Loaded(UINT id)
{
    wchar_t text[512] = {};
    LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
    return text;
}

std::wstring CaseName()
{
    return Widened(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// A program of dist/<arch> copied into a folder of the running case's own.
class InstalledProgram {
public:
    InstalledProgram(const char* arch, const wchar_t* name)
        : folder_(std::wstring(kSmokeRoot) + L"\\" + CaseName()), path_(folder_ + L"\\" + name)
    {
        CreateDirectoryW(kSmokeRoot, nullptr);
        CreateDirectoryW(folder_.c_str(), nullptr);
        Clear();
        const std::wstring source = WindowsPath(std::string(QEVRIN_DIST_DIR) + "/" + arch) + L"\\" + name;
        copied_ = CopyFileW(source.c_str(), path_.c_str(), FALSE) != FALSE;
    }
    ~InstalledProgram() { Clear(); }
    InstalledProgram(const InstalledProgram&) = delete;
    InstalledProgram& operator=(const InstalledProgram&) = delete;

    bool Copied() const { return copied_; }
    const std::wstring& Path() const { return path_; }
    // What the program left beside itself.
    std::vector<std::wstring> Beside() const
    {
        std::vector<std::wstring> others;
        for (const std::wstring& name : FilesIn(folder_))
            if (folder_ + L"\\" + name != path_)
                others.push_back(name);
        return others;
    }

private:
    void Clear() const
    {
        for (const std::wstring& name : FilesIn(folder_))
            DeleteFileW((folder_ + L"\\" + name).c_str());
    }

    std::wstring folder_;
    std::wstring path_;
    bool copied_ = false;
};

// Nothing of the product's stored state exists: neither view of its registry key nor its
// folder under the common application data.
std::vector<std::string> ProductStateFound()
{
    std::vector<std::string> found;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath, 0, KEY_READ | view, &key) ==
            ERROR_SUCCESS) {
            RegCloseKey(key);
            found.push_back(view == KEY_WOW64_32KEY ? "the product's key in the 32-bit registry view"
                                                    : "the product's key in the 64-bit registry view");
        }
    }
    wchar_t common[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)) &&
        GetFileAttributesW((std::wstring(common) + L"\\" + StoreConstants::kMakerFolderName).c_str()) !=
            INVALID_FILE_ATTRIBUTES)
        found.push_back("the product's folder under the common application data");
    return found;
}

// The exit code of a program of the system that ended its own way: its start-up refused to run
// (a second instance, a remounter that has done its work) or its message loop ended. A crash
// leaves its exception, abort() 3.
const DWORD kEndedItsOwnWay = 0;

struct ThreadWindows {
    HWND own = nullptr;  // the program's first window
    int visible = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM context)
{
    auto* windows = reinterpret_cast<ThreadWindows*>(context);
    // The system gives a thread with windows a hidden input-method window of its own, before or
    // after the program's in the list.
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (!windows->own && lstrcmpW(className, L"IME") != 0)
        windows->own = window;
    if (IsWindowVisible(window))
        ++windows->visible;
    return TRUE;
}

ThreadWindows WindowsOf(DWORD threadId)
{
    ThreadWindows windows;
    EnumThreadWindows(threadId, CountWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The session program's hidden window, once it has made one.
HWND WaitForHiddenWindow(const ChildProcess& program)
{
    HWND window = nullptr;
    ui::WaitUntil([&] {
        window = WindowsOf(program.ThreadId()).own;
        return window != nullptr || program.WaitForExit(0) != STILL_ACTIVE;
    }, kStartMs);
    return window;
}

// ---------------------------------------------------------------------------------------------
// The service, installed with sc create and started with net start, where no driver exists.

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser> ScopedServiceHandle;

ScopedServiceHandle OpenProductService(DWORD access)
{
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return nullptr;
    return ScopedServiceHandle(OpenServiceW(manager.get(), kServiceName, access));
}

bool QueryService(SERVICE_STATUS_PROCESS& status)
{
    ScopedServiceHandle service = OpenProductService(SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    return service && QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                           sizeof(status), &needed);
}

DWORD RunCommand(const std::wstring& program, const std::wstring& arguments)
{
    ChildProcess command(program, arguments);
    return command.Started() ? command.WaitForExit(kEndMs) : command.StartError();
}

// The service registered with sc create for the case; deleted, and its process ended if it
// still runs, when the case ends.
class CreatedService {
public:
    explicit CreatedService(const std::wstring& program)
    {
        RemoveService();
        created_ = RunCommand(L"sc.exe", std::wstring(L"create ") + kServiceName + L" binPath= \"\\\"" + program +
                                             L"\\\"\" type= own start= demand");
    }
    ~CreatedService() { RemoveService(); }
    CreatedService(const CreatedService&) = delete;
    CreatedService& operator=(const CreatedService&) = delete;

    // sc's exit code.
    DWORD Created() const { return created_; }

private:
    static void RemoveService()
    {
        SERVICE_STATUS_PROCESS status = {};
        if (QueryService(status) && status.dwCurrentState != SERVICE_STOPPED && status.dwProcessId) {
            ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
            if (process.IsValid()) {
                TerminateProcess(process.Get(), 1);
                WaitForSingleObject(process.Get(), kEndMs);
            }
        }
        if (ScopedServiceHandle service = OpenProductService(DELETE))
            DeleteService(service.get());
    }

    DWORD created_ = 0;
};

void ExpectServiceStopsWithoutDriver(const char* arch)
{
    InstalledProgram program(arch, L"QEVRINs.exe");
    ASSERT_TRUE(program.Copied());
    CreatedService service(program.Path());
    ASSERT_EQ(service.Created(), 0u) << "sc create failed";
    ChildProcess start(L"net.exe", std::wstring(L"start ") + kServiceName);
    ASSERT_TRUE(start.Started());

    // While it looks for the driver it is starting, accepts nothing and asks for patience. The
    // service control manager says "starting" before the program's own first report, which
    // carries a check point.
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(ui::WaitUntil([&] { return QueryService(status) && status.dwCheckPoint != 0; }, kStartMs))
        << "the service reported no pending start; state " << status.dwCurrentState;
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwControlsAccepted, 0u);
    EXPECT_EQ(status.dwWaitHint, 15000u);
    ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId));
    ASSERT_TRUE(process.IsValid());

    ASSERT_TRUE(ui::WaitUntil([&] { return QueryService(status) && status.dwCurrentState == SERVICE_STOPPED; },
                              kProductWaitMs))
        << "still in state " << status.dwCurrentState;
    // The driver's device does not exist: the error of opening it is the exit code.
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    ASSERT_EQ(WaitForSingleObject(process.Get(), kEndMs), WAIT_OBJECT_0) << "the stopped service's process lingers";
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(exitCode, kEndedItsOwnWay) << std::hex << exitCode;
    EXPECT_NE(start.WaitForExit(kEndMs), STILL_ACTIVE) << "net start did not come back";
}

// ---------------------------------------------------------------------------------------------
// The setting tool where no service answers: the message of a bad installation, then the end.

void ExpectToolReportsBadInstallation(const char* arch)
{
    InstalledProgram program(arch, L"QEVRINTool.exe");
    ASSERT_TRUE(program.Copied());
    ChildProcess tool(program.Path(), L"");
    ASSERT_TRUE(tool.Started());

    HWND box = ui::WaitForMessageBox(tool.ThreadId(), kProductWaitMs);
    ASSERT_NE(box, nullptr) << "no message box; the tool " << (tool.WaitForExit(0) == STILL_ACTIVE ? "runs" : "ended");
    // The box may be found a moment before its texts are set.
    const std::wstring caption = Loaded(IDS_PRODUCT_NAME);
    const std::wstring message = Loaded(IDS_BAD_INSTALLATION);
    ui::WaitUntil([&] { return ui::Text(box) == caption && ui::ItemText(box, 0xFFFF) == message; }, kStartMs);
    EXPECT_EQ(ui::Text(box), caption);
    EXPECT_EQ(ui::ItemText(box, 0xFFFF), message);
    EXPECT_EQ(WindowsOf(tool.ThreadId()).visible, 1) << "only the message shows";
    ui::Click(box, IDOK);
    const DWORD exitCode = tool.WaitForExit(kEndMs);
    EXPECT_NE(exitCode, STILL_ACTIVE) << "the tool did not end after its message";
    EXPECT_EQ(exitCode, kEndedItsOwnWay) << std::hex << exitCode;
}

// ---------------------------------------------------------------------------------------------
// The session programs where no service runs and no disc recorder exists: they show nothing,
// write nothing and do not crash.

// A hidden-window program stays, a second start in the session ends at once, and closing its
// window ends it.
void ExpectHiddenProgramRunsOncePerSession(const InstalledProgram& program, ChildProcess& first, HWND window)
{
    ASSERT_NE(window, nullptr) << "no window; exit code " << std::hex << first.WaitForExit(0);
    EXPECT_FALSE(IsWindowVisible(window));
    ChildProcess second(program.Path(), L"");
    ASSERT_TRUE(second.Started());
    const DWORD secondExit = second.WaitForExit(kEndMs);
    EXPECT_NE(secondExit, STILL_ACTIVE) << "a second instance stays";
    EXPECT_EQ(secondExit, kEndedItsOwnWay) << std::hex << secondExit;
    EXPECT_EQ(WindowsOf(second.ThreadId()).own, nullptr) << "the second instance made a window";
    EXPECT_EQ(first.WaitForExit(0), STILL_ACTIVE) << "the first instance ended";

    PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD exitCode = first.WaitForExit(kEndMs);
    EXPECT_EQ(exitCode, kEndedItsOwnWay) << std::hex << exitCode;
}

void ExpectNothingWritten(const InstalledProgram& program)
{
    EXPECT_TRUE(program.Beside().empty()) << "a file appeared beside the program";
    const std::vector<std::string> state = ProductStateFound();
    EXPECT_TRUE(state.empty()) << "written: " << state.front();
}

// ---------------------------------------------------------------------------------------------

TEST(DistX86, ServiceWithoutDriverStopsWithTheErrorOfOpeningIt) { ExpectServiceStopsWithoutDriver(kX86); }

TEST(DistX86, ToolWithoutServiceReportsABadInstallationAndEnds) { ExpectToolReportsBadInstallation(kX86); }

// No disc recorder: the ejector keeps its hidden window and ejects nothing.
TEST(DistX86, EjectorWithoutRecordersWaitsHiddenUntilItsWindowCloses)
{
    InstalledProgram program(kX86, L"QEVRINcde.exe");
    ASSERT_TRUE(program.Copied());
    ChildProcess ejector(program.Path(), L"");
    ASSERT_TRUE(ejector.Started());
    HWND window = WaitForHiddenWindow(ejector);
    EXPECT_EQ(WindowsOf(ejector.ThreadId()).visible, 0);
    ExpectHiddenProgramRunsOncePerSession(program, ejector, window);
    ExpectNothingWritten(program);
}

TEST(DistX64, ServiceWithoutDriverStopsWithTheErrorOfOpeningIt) { ExpectServiceStopsWithoutDriver(kX64); }

TEST(DistX64, ToolWithoutServiceReportsABadInstallationAndEnds) { ExpectToolReportsBadInstallation(kX64); }

// The receiver's forwarding finds no service within its 50 ms and drops the change: the window
// answers as the default window procedure does, long before any wait of a minute or of seconds
// that a program keeping the change would make.
TEST(DistX64, ReceiverWithoutServiceDropsDeviceChangesAndWaitsUntilItsWindowCloses)
{
    // The 50 ms of the receiver's own wait, with room for a loaded machine.
    const DWORD kDropMs = 2000;
    InstalledProgram program(kX64, L"QEVRINdcr.exe");
    ASSERT_TRUE(program.Copied());
    ChildProcess receiver(program.Path(), L"");
    ASSERT_TRUE(receiver.Started());
    HWND window = WaitForHiddenWindow(receiver);
    ASSERT_NE(window, nullptr);
    const HWND own = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(own, nullptr);
    for (WPARAM event : {WPARAM(0x0007) /* DBT_DEVNODES_CHANGED */, WPARAM(0x8000) /* DBT_DEVICEARRIVAL */}) {
        DWORD_PTR answer = 0;
        const DWORD sent = GetTickCount();
        EXPECT_NE(SendMessageTimeoutW(window, WM_DEVICECHANGE, event, 0, SMTO_ABORTIFHUNG, kEndMs, &answer), 0)
            << "no answer to device event " << event;
        const DWORD answeredAfter = GetTickCount() - sent;
        EXPECT_LT(answeredAfter, kDropMs) << "device event " << event << " was held " << answeredAfter << " ms";
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(DefWindowProcW(own, WM_DEVICECHANGE, event, 0)))
            << "device event " << event;
        EXPECT_EQ(receiver.WaitForExit(0), STILL_ACTIVE) << "the receiver ended on device event " << event;
    }
    DestroyWindow(own);
    EXPECT_EQ(WindowsOf(receiver.ThreadId()).visible, 0);
    ExpectHiddenProgramRunsOncePerSession(program, receiver, window);
    ExpectNothingWritten(program);
}

// Letters are made visible without asking anyone; "ALLRO" asks the service for each drive,
// gives each up after its 5 s and so remounts nothing.
TEST(DistX64, RemounterWithoutServiceEndsWithoutShowingOrWritingAnything)
{
    // What the service is given for one drive; the prefix has C: and Z: at least.
    const DWORD kServiceWaitMs = 5000;
    InstalledProgram program(kX64, L"QEVRINrmt.exe");
    ASSERT_TRUE(program.Copied());
    for (const wchar_t* arguments : {L"", L"EF", L"ALLRO"}) {
        const std::string commandLine = "with the command line \"" + Narrowed(arguments) + "\"";
        const DWORD started = GetTickCount();
        ChildProcess remounter(program.Path(), arguments);
        ASSERT_TRUE(remounter.Started());
        int shown = 0;
        ui::WaitUntil([&] {
            shown = std::max(shown, WindowsOf(remounter.ThreadId()).visible);
            return remounter.WaitForExit(0) != STILL_ACTIVE;
        }, kProductWaitMs);
        const DWORD ranFor = GetTickCount() - started;
        const DWORD exitCode = remounter.WaitForExit(0);
        EXPECT_NE(exitCode, STILL_ACTIVE) << commandLine;
        EXPECT_EQ(exitCode, kEndedItsOwnWay) << commandLine << ": 0x" << std::hex << exitCode;
        EXPECT_EQ(shown, 0) << "a window showed " << commandLine;
        if (std::wstring(arguments) == L"ALLRO") {
            EXPECT_GE(ranFor, kServiceWaitMs) << "the drives' states were not asked for";
        }
    }
    ExpectNothingWritten(program);
}

}  // namespace
