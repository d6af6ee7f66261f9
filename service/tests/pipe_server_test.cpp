// The service's pipe server over a real named pipe: the shape of each request, the message
// limit, the exemption commands granted only to a privileged caller for its own process, the
// one instance kept for the server's life, its access list, and the stop of a pending read.
#include "core/pipe/ServiceCommandClient.h"
#include "service/pipe/ServiceCommandServer.h"
#include "testbed/machine/interpose.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Tokens as the test wants them: the real answer, or "member of nothing".
std::atomic<bool> tokenIsPrivileged{true};

BOOL WINAPI SimulatedTokenMembership(HANDLE token, PSID sid, PBOOL isMember)
{
    static auto real = testbed::RealFunction<decltype(&CheckTokenMembership)>(L"advapi32.dll", "CheckTokenMembership");
    if (!tokenIsPrivileged) {
        *isMember = FALSE;
        return TRUE;
    }
    return real(token, sid, isMember);
}

// Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE, so the mode the server asks with is recorded.
std::atomic<DWORD> lastServerOpenMode{0};
std::atomic<DWORD> lastServerInstances{0};
HANDLE WINAPI RecordingCreateNamedPipeW(LPCWSTR name, DWORD openMode, DWORD pipeMode, DWORD instances,
                                        DWORD outSize, DWORD inSize, DWORD timeout, LPSECURITY_ATTRIBUTES security)
{
    static auto real = testbed::RealFunction<decltype(&::CreateNamedPipeW)>(L"kernel32.dll", "CreateNamedPipeW");
    lastServerOpenMode = openMode;
    lastServerInstances = instances;
    return real(name, openMode, pipeMode, instances, outSize, inSize, timeout, security);
}

}  // namespace

TESTBED_INTERPOSE(CheckTokenMembership, 12, SimulatedTokenMembership)
TESTBED_INTERPOSE(CreateNamedPipeW, 32, RecordingCreateNamedPipeW)

namespace servicetest {
namespace {

using namespace Quelmar;

std::vector<BYTE> Words(std::initializer_list<DWORD> words)
{
    std::vector<BYTE> bytes;
    for (DWORD word : words)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<BYTE>(word >> shift));
    return bytes;
}

std::wstring UniquePipeName()
{
    static std::atomic<int> serial{0};
    return L"\\\\.\\pipe\\qevrin-server-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
}

// The service core's part, recorded: it answers 4 and 5 with 1 and 6 with found, state 2.
class RecordingObserver : public Observer {
public:
    void OnSubjectNotify(Subject*) override {}
    void OnServiceCommand(ServiceCommandRequest& request) override
    {
        codes.push_back(request.code);
        processIds.push_back(request.processId);
        if (request.code == 4 || request.code == 5)
            request.result = 1;
        if (request.code == 6 && (request.driveLetter == L'e' || request.driveLetter == L'E')) {
            request.result = 1;
            request.state = 2;
        }
    }
    std::vector<LONG> codes;
    std::vector<DWORD> processIds;
};

class PipeServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tokenIsPrivileged = true;
        name_ = UniquePipeName();
        server_.reset(new ServiceCommandServer(name_.c_str()));
        server_->AttachCommandObserver(&observer_);
        thread_ = std::thread([this] { served_ = server_->Serve(); });
    }
    void TearDown() override
    {
        server_->RequestStop();
        thread_.join();
        tokenIsPrivileged = true;
    }

    std::unique_ptr<ServiceCommandClient> Connect()
    {
        std::unique_ptr<ServiceCommandClient> client(new ServiceCommandClient(5000, name_.c_str()));
        EXPECT_TRUE(client->ConnectWait(5000));
        return client;
    }

    std::vector<BYTE> Exchange(ServiceCommandClient& client, const std::vector<BYTE>& request)
    {
        std::vector<BYTE> reply;
        EXPECT_TRUE(client.Write(request.data(), static_cast<DWORD>(request.size())));
        EXPECT_TRUE(client.Read(reply));
        return reply;
    }

    std::wstring name_;
    RecordingObserver observer_;
    std::unique_ptr<ServiceCommandServer> server_;
    std::thread thread_;
    int served_ = 99;
};

TEST_F(PipeServerTest, AnswersEachRequestByItsShapeOnOneConnection)
{
    const struct {
        const char* name;
        std::vector<BYTE> request;
        std::vector<BYTE> reply;
    } cases[] = {
        {"three bytes", {1, 0, 0}, Words({2})},
        {"empty-looking short", {0}, Words({2})},
        {"version", Words({1}), Words({0, 1, 0, 1, 1})},
        {"version with a byte", {1, 0, 0, 0, 9}, Words({2})},
        {"reload", Words({2}), Words({0})},
        {"reload with payload", Words({2, 0}), Words({2})},
        {"device changed", Words({3}), Words({0})},
        {"exempt short", {4, 0, 0, 0, 1, 0}, Words({2})},
        {"drive with four bytes", Words({6, 'e'}), Words({2})},
        {"drive lower case", {6, 0, 0, 0, 'e', 0}, Words({0, 1, 2})},
        {"drive unknown", {6, 0, 0, 0, 'q', 0}, Words({0, 0, 0xFFFFFFFF})},
        {"unknown code", Words({7}), Words({1})},
        {"negative code", Words({0xFFFFFFFF}), Words({1})},
    };
    std::unique_ptr<ServiceCommandClient> client = Connect();
    for (const auto& c : cases)
        EXPECT_EQ(c.reply, Exchange(*client, c.request)) << c.name;
    EXPECT_EQ((std::vector<LONG>{2, 3, 6, 6}), observer_.codes);
}

TEST_F(PipeServerTest, OversizedMessageDropsTheClientAndTheNextIsServed)
{
    {
        std::unique_ptr<ServiceCommandClient> client = Connect();
        std::vector<BYTE> flood(PipeMessageLimit + 512, 0x41);
        client->Write(flood.data(), static_cast<DWORD>(flood.size()));
        std::vector<BYTE> reply;
        EXPECT_FALSE(client->Read(reply));
    }
    std::unique_ptr<ServiceCommandClient> next = Connect();
    DWORD version[4] = {};
    EXPECT_EQ(1, next->GetVersion(version));
    EXPECT_TRUE(observer_.codes.empty());
}

TEST_F(PipeServerTest, ExemptionOnlyForTheCallersOwnProcessAndAPrivilegedToken)
{
    const DWORD self = GetCurrentProcessId();
    std::unique_ptr<ServiceCommandClient> client = Connect();
    // Another process's id: refused without reaching the core.
    EXPECT_EQ(Words({0, 0}), Exchange(*client, Words({4, self + 4})));
    EXPECT_EQ(Words({0, 0}), Exchange(*client, Words({5, self + 4})));
    EXPECT_TRUE(observer_.codes.empty());
    // Its own id under an administrator's token: handed on.
    EXPECT_EQ(Words({0, 1}), Exchange(*client, Words({4, self})));
    EXPECT_EQ(Words({0, 1}), Exchange(*client, Words({5, self})));
    EXPECT_EQ((std::vector<LONG>{4, 5}), observer_.codes);
    // An ordinary user's token, its own id: refused.
    tokenIsPrivileged = false;
    EXPECT_EQ(Words({0, 0}), Exchange(*client, Words({4, self})));
    EXPECT_EQ(2u, observer_.codes.size());
    // Commands 1, 3 and 6 stay open to everyone.
    EXPECT_EQ(Words({0}), Exchange(*client, Words({3})));
    EXPECT_EQ(Words({0, 1, 2}), Exchange(*client, {6, 0, 0, 0, 'E', 0}));
}

TEST_F(PipeServerTest, NameStaysTakenBetweenClientsAndForTheServersLife)
{
    {
        std::unique_ptr<ServiceCommandClient> first = Connect();
    }
    // The one instance was created as the first of its name.
    EXPECT_EQ(static_cast<DWORD>(PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE),
              lastServerOpenMode.load());
    EXPECT_EQ(1u, lastServerInstances.load());
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<ServiceCommandClient> client = Connect();
        EXPECT_EQ(1, client->NotifyDeviceChange());
        client->Close();
        HANDLE squatter = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                           1024, 1024, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, squatter) << "round " << i;
        if (squatter != INVALID_HANDLE_VALUE)
            CloseHandle(squatter);
    }
}

TEST_F(PipeServerTest, AccessListGivesInteractiveUsersNoRightToChangeIt)
{
    std::unique_ptr<ServiceCommandClient> client = Connect();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, GetSecurityInfo(client->Handle(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                             nullptr, &dacl, nullptr, &descriptor));
    struct Expected {
        WELL_KNOWN_SID_TYPE sid;
        DWORD mask;
        BYTE flags;
    } expected[] = {
        {WinCreatorOwnerSid, 0x1F01FF, 0xF},
        {WinLocalSystemSid, 0x1F01FF, 3},
        {WinBuiltinAdministratorsSid, 0x1F01FF, 3},
        {WinInteractiveSid, 0x1301FF, 3},
    };
    ASSERT_NE(nullptr, dacl);
    EXPECT_EQ(4u, dacl->AceCount);
    for (const Expected& e : expected) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(e.sid, nullptr, sid, &size));
        bool found = false;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            if (EqualSid(&ace->SidStart, sid)) {
                found = true;
                EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
                EXPECT_EQ(e.mask, ace->Mask) << e.sid;
                EXPECT_EQ(e.flags, ace->Header.AceFlags) << e.sid;
            }
        }
        EXPECT_TRUE(found) << e.sid;
    }
    LocalFree(descriptor);
}

TEST(PipeServer, StopCancelsAPendingReadAndLeavesThePipeOpen)
{
    const std::wstring name = UniquePipeName();
    ServiceCommandServer server(name.c_str());
    ASSERT_TRUE(server.Create());
    ServiceCommandClient client(5000, name.c_str());
    ASSERT_TRUE(client.ConnectWait(5000));
    ASSERT_TRUE(server.Connect());
    // The read runs on this thread, which lives on: the system would cancel the I/O of a
    // thread that ends.
    std::thread stopping([&] { server.RequestStop(); });
    std::vector<BYTE> request;
    const BOOL read = server.Read(request);
    stopping.join();
    EXPECT_FALSE(read);
    // Only Close closes the instance.
    ASSERT_TRUE(server.IsOpen());
    // The read is over, not merely abandoned: what the client sends now stays in the pipe
    // instead of landing in the buffer of a read whose frame is gone.
    const BYTE late[] = {3, 0, 0, 0};
    ASSERT_TRUE(client.Write(late, sizeof(late)));
    DWORD waiting = 0;
    const DWORD start = GetTickCount();
    while (PeekNamedPipe(server.Handle(), nullptr, 0, nullptr, &waiting, nullptr) && waiting == 0 &&
           GetTickCount() - start < 2000)
        Sleep(10);
    EXPECT_EQ(sizeof(late), waiting);
    server.Close();
}

TEST(PipeServer, SilentClientIsDroppedAfterTheIdleLimitAndTheNextServed)
{
    const std::wstring name = UniquePipeName();
    ServiceCommandServer server(name.c_str());
    server.SetWaitLimit(200);
    std::thread serving([&] { server.Serve(); });
    ServiceCommandClient silent(5000, name.c_str());
    ASSERT_TRUE(silent.ConnectWait(5000));
    // The one instance is free again once the silent client was dropped.
    ServiceCommandClient next(5000, name.c_str());
    ASSERT_TRUE(next.ConnectWait(5000));
    DWORD version[4] = {};
    EXPECT_EQ(1, next.GetVersion(version));
    next.Close();
    // Waiting for a client has no limit: the server still listens long after the idle limit.
    Sleep(400);
    ServiceCommandClient last(5000, name.c_str());
    ASSERT_TRUE(last.ConnectWait(5000));
    EXPECT_EQ(1, last.NotifyDeviceChange());
    last.Close();
    silent.Close();
    server.RequestStop();
    serving.join();
}

TEST(PipeServer, TakenNameIsRetriedUntilItIsFree)
{
    const std::wstring name = UniquePipeName();
    HANDLE squatter = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 1024, 1024, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, squatter);
    ServiceCommandServer server(name.c_str());
    int served = 99;
    std::thread serving([&] { served = server.Serve(); });
    Sleep(200);
    CloseHandle(squatter);
    ServiceCommandClient client(5000, name.c_str());
    // The server takes the name at its next try, about a second later.
    ASSERT_TRUE(client.ConnectWait(5000));
    DWORD version[4] = {};
    EXPECT_EQ(1, client.GetVersion(version));
    client.Close();
    server.RequestStop();
    serving.join();
    EXPECT_EQ(0, served);
}

TEST(PipeServer, StopBeforeThePipeExistsEndsTheRetries)
{
    const std::wstring name = UniquePipeName();
    HANDLE squatter = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 1024, 1024, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, squatter);
    ServiceCommandServer server(name.c_str());
    int served = 99;
    std::thread serving([&] { served = server.Serve(); });
    Sleep(100);
    server.RequestStop();
    serving.join();
    EXPECT_EQ(-1, served);
    CloseHandle(squatter);
}

}  // namespace
}  // namespace servicetest
