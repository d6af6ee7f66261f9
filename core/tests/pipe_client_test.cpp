// The pipe transport and the service's command client against a server the test plays over a
// real named pipe: whole replies across pieces, the message limit, the bounded reply wait,
// writes that fall short, the reply payload rules of each command, and the connect retry
// across the tick count's wrap.
#include "core/pipe/ServiceCommandClient.h"
#include "core/tests/event_that_cannot_be_made.h"
#include "testbed/machine/interpose.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

// The tick count the client sees, shifted so a test can put it just before the wrap.
std::atomic<DWORD> tickShift{0};
DWORD WINAPI ShiftedTickCount()
{
    static auto real = testbed::RealFunction<DWORD(WINAPI*)()>(L"kernel32.dll", "GetTickCount");
    return real() + tickShift;
}

// Wine ignores a client's quality of service, so the flags the client asks with are recorded.
std::atomic<DWORD> lastPipeOpenFlags{0};
HANDLE WINAPI RecordingCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    static auto real = testbed::RealFunction<decltype(&::CreateFileW)>(L"kernel32.dll", "CreateFileW");
    if (name != nullptr && wcsncmp(name, L"\\\\.\\pipe\\", 9) == 0)
        lastPipeOpenFlags = flags;
    return real(name, access, share, security, disposition, flags, templateFile);
}

// A write that moves one byte less than asked, as a pipe may report, armed for one call.
std::atomic<bool> shortenNextWrite{false};
BOOL WINAPI ShorteningWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    static auto real = testbed::RealFunction<decltype(&::WriteFile)>(L"kernel32.dll", "WriteFile");
    if (size > 1 && shortenNextWrite.exchange(false))
        --size;
    return real(file, data, size, written, overlapped);
}

}  // namespace

TESTBED_INTERPOSE(GetTickCount, 0, ShiftedTickCount)
TESTBED_INTERPOSE(CreateFileW, 28, RecordingCreateFileW)
TESTBED_INTERPOSE(WriteFile, 20, ShorteningWriteFile)

namespace {

using namespace Quelmar;

std::wstring UniquePipeName()
{
    static std::atomic<int> serial{0};
    return L"\\\\.\\pipe\\qevrin-client-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
}

std::vector<BYTE> Words(std::initializer_list<DWORD> words)
{
    std::vector<BYTE> bytes;
    for (DWORD word : words) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<BYTE>(word >> shift));
        }
    }
    return bytes;
}

// One server instance that answers a single client: it reads one request, keeps it, and
// writes the scripted reply (in the given pieces), or stays silent until released.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::vector<BYTE>> replyPieces, bool silent = false)
        : name_(UniquePipeName()), pieces_(std::move(replyPieces)), silent_(silent)
    {
        pipe_ = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                 8192, 8192, 0, nullptr);
        release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer()
    {
        SetEvent(release_);
        // A client that never came: a connect of our own ends the server's wait.
        HANDLE unblock = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        thread_.join();
        if (unblock != INVALID_HANDLE_VALUE)
            CloseHandle(unblock);
        CloseHandle(pipe_);
        CloseHandle(release_);
    }
    const wchar_t* Name() const { return name_.c_str(); }
    std::vector<BYTE> request;

private:
    void Serve()
    {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        BYTE buffer[8192];
        DWORD read = 0;
        if (ReadFile(pipe_, buffer, sizeof(buffer), &read, nullptr))
            request.assign(buffer, buffer + read);
        if (silent_) {
            WaitForSingleObject(release_, 30000);
        } else {
            for (const std::vector<BYTE>& piece : pieces_) {
                DWORD written = 0;
                WriteFile(pipe_, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
            }
        }
        FlushFileBuffers(pipe_);
        // Keep the connection until the client has read everything and closed.
        while (ReadFile(pipe_, buffer, sizeof(buffer), &read, nullptr)) {
        }
        DisconnectNamedPipe(pipe_);
    }

    std::wstring name_;
    std::vector<std::vector<BYTE>> pieces_;
    bool silent_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE release_ = nullptr;
    std::thread thread_;
};

TEST(PipeTransport, ReplyLongerThanOnePieceArrivesWholeAndInOrder)
{
    std::vector<BYTE> reply(3000);
    for (size_t i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<BYTE>(i * 7);
    ScriptedServer server({reply});
    ServiceCommandClient client(5000, server.Name());
    ASSERT_TRUE(client.ConnectWait(2000));
    const BYTE request[] = {1, 0, 0, 0};
    ASSERT_TRUE(client.Write(request, sizeof(request)));
    // Let the whole reply reach the pipe, so the read takes it in several pieces.
    Sleep(100);
    std::vector<BYTE> received;
    ASSERT_TRUE(client.Read(received));
    EXPECT_EQ(reply, received);
}

TEST(PipeTransport, MessageBeyondTheLimitIsRefusedNotBuffered)
{
    ScriptedServer server({std::vector<BYTE>(PipeMessageLimit + 1, 0x41)});
    ServiceCommandClient client(5000, server.Name());
    ASSERT_TRUE(client.ConnectWait(2000));
    const BYTE request[] = {1, 0, 0, 0};
    ASSERT_TRUE(client.Write(request, sizeof(request)));
    Sleep(100);
    std::vector<BYTE> received;
    EXPECT_FALSE(client.Read(received));
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_MESSAGE_EXCEEDS_MAX_SIZE), GetLastError());
}

TEST(PipeTransport, SilentServerEndsTheReplyWaitAtTheLimit)
{
    ScriptedServer server({}, true);
    ServiceCommandClient client(200, server.Name());
    ASSERT_TRUE(client.ConnectWait(2000));
    EXPECT_EQ(0, client.NotifyDeviceChange());
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());
    // The cancelled read let go of its buffer: the handle is still usable for a clean close.
    EXPECT_TRUE(client.IsOpen());
    client.Close();
}

TEST(PipeTransport, WriteSucceedsOnlyWhenEveryByteLeft)
{
    const struct {
        const char* name;
        bool shortWrite;
        bool noEvent;
    } cases[] = {{"one byte short", true, false}, {"no event to wait on", false, true}};
    for (const auto& c : cases) {
        ScriptedServer server({Words({0})});
        ServiceCommandClient client(5000, server.Name());
        ASSERT_TRUE(client.ConnectWait(2000)) << c.name;
        shortenNextWrite = c.shortWrite;
        failNextEventHere = c.noEvent;
        // A request that left short or unwatched is no request: the reply is not taken.
        EXPECT_EQ(0, client.NotifyDeviceChange()) << c.name;
        shortenNextWrite = false;
        failNextEventHere = false;
        client.Close();
    }
}

struct CommandCase {
    const char* name;
    std::vector<BYTE> reply;
    int expected;
};

int RunCommand(const std::string& name, ServiceCommandClient& client, DWORD (&version)[4], LONG& state)
{
    if (name.rfind("version", 0) == 0)
        return client.GetVersion(version);
    if (name.rfind("reload", 0) == 0)
        return client.RequestReloadSettings();
    if (name.rfind("device", 0) == 0)
        return client.NotifyDeviceChange();
    if (name.rfind("add", 0) == 0)
        return client.AddExemptProcess(0x1234);
    if (name.rfind("remove", 0) == 0)
        return client.RemoveExemptProcess(0x1234);
    return client.GetDriveState(L'e', state);
}

TEST(ServiceCommandClient, AcceptsOnlyTheRepliesEachCommandDefines)
{
    const CommandCase cases[] = {
        {"version exact", Words({0, 1, 0, 1, 1}), 1},
        {"version status only", Words({0}), 0},
        {"version twenty bytes", Words({0, 1, 0, 1, 1, 0}), 0},
        {"version status 1", Words({1}), 0},
        {"reload status only", Words({0}), 1},
        {"reload with payload", Words({0, 0}), 0},
        {"reload malformed", Words({2}), 0},
        {"device status only", Words({0}), 1},
        {"add accepted", Words({0, 1}), 1},
        {"add refused", Words({0, 0}), 0},
        {"add status only", Words({0}), 0},
        {"remove accepted", Words({0, 1}), 1},
        {"remove value 2", Words({0, 2}), 0},
        {"drive found", Words({0, 1, 2}), 1},
        {"drive not found", Words({0, 0, 0xFFFFFFFF}), 0},
        {"drive short", Words({0, 1}), 0},
        {"drive short status", {0, 0, 0}, 0},
    };
    for (const CommandCase& c : cases) {
        ScriptedServer server({c.reply});
        ServiceCommandClient client(5000, server.Name());
        ASSERT_TRUE(client.ConnectWait(2000)) << c.name;
        DWORD version[4] = {};
        LONG state = -7;
        EXPECT_EQ(c.expected, RunCommand(c.name, client, version, state)) << c.name;
        client.Close();
        if (std::string(c.name) == "version exact") {
            EXPECT_TRUE(IsServiceInterfaceVersion(version));
        }
        if (std::string(c.name) == "drive found") {
            EXPECT_EQ(2, state);
        }
        if (std::string(c.name) == "drive not found") {
            EXPECT_EQ(-7, state);
        }
    }
}

TEST(ServiceCommandClient, RequestsCarryTheCommandAndItsPayload)
{
    struct {
        const char* name;
        std::vector<BYTE> request;
    } cases[] = {
        {"version", Words({1})},
        {"reload", Words({2})},
        {"device", Words({3})},
        {"add", Words({4, 0x1234})},
        {"remove", Words({5, 0x1234})},
        {"drive", {6, 0, 0, 0, 'e', 0}},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> request;
        {
            ScriptedServer server({Words({1})});
            ServiceCommandClient client(5000, server.Name());
            ASSERT_TRUE(client.ConnectWait(2000));
            DWORD version[4] = {};
            LONG state = 0;
            RunCommand(c.name, client, version, state);
            client.Close();
            Sleep(20);
            request = server.request;
        }
        EXPECT_EQ(c.request, request) << c.name;
    }
}

TEST(PipeClient, ConnectWaitGivesUpOnAMissingPipeAcrossTheTickCountWrap)
{
    ServiceCommandClient client(1000, L"\\\\.\\pipe\\qevrin-client-test-nobody");
    static auto real = testbed::RealFunction<DWORD(WINAPI*)()>(L"kernel32.dll", "GetTickCount");
    tickShift = 0xFFFFFFF0u - real();
    const DWORD before = real();
    EXPECT_FALSE(client.ConnectWait(100));
    const DWORD spent = real() - before;
    tickShift = 0;
    // Across the wrap the old signed comparison ended at once or never: it must have retried
    // for the time-out and then stopped.
    EXPECT_GE(spent, 90u);
    EXPECT_FALSE(client.IsOpen());
}

TEST(PipeClient, ConnectsForIdentificationOnly)
{
    ScriptedServer server({Words({0})});
    ServiceCommandClient client(5000, server.Name());
    ASSERT_TRUE(client.ConnectWait(2000));
    EXPECT_EQ(static_cast<DWORD>(FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION),
              lastPipeOpenFlags.load());
    EXPECT_EQ(1, client.NotifyDeviceChange());
}

TEST(PipeClient, ConnectWaitFindsAPipeThatAppearsLater)
{
    std::wstring name = UniquePipeName();
    HANDLE pipe = INVALID_HANDLE_VALUE;
    std::thread late([&] {
        Sleep(100);
        pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 1024, 1024, 0, nullptr);
    });
    ServiceCommandClient client(1000, name.c_str());
    EXPECT_TRUE(client.ConnectWait(5000));
    late.join();
    client.Close();
    CloseHandle(pipe);
}

}  // namespace
