// The drive remounter on the simulated PC: which roots the shell is told to read again, which
// broadcasts go out by Windows version, and which drives "ALLRO" picks from the service's
// answers.
#include "session/remounter/DriveRemount.h"
#include "core/pipe/ServiceProtocol.h"
#include "core/tests/stand_in_service_pipe.h"
#include "testbed/machine/Machine.h"
#include "testbed/machine/ShellRecorder.h"

#include <gtest/gtest.h>

#include <dbt.h>
#include <shlobj.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Quelmar;

std::vector<std::wstring> NotifiedRoots(testbed::Machine& pc)
{
    std::vector<std::wstring> roots;
    for (const testbed::ShellNotification& notification : pc.Shell().Notifications()) {
        EXPECT_EQ(notification.eventId, LONG(SHCNE_UPDATEDIR));
        EXPECT_EQ(notification.flags, UINT(SHCNF_PATHW));
        roots.push_back(notification.path1);
    }
    return roots;
}

// The unit masks of the three broadcasts, after checking their order and form; empty when
// there were none.
std::vector<DWORD> BroadcastMasks(testbed::Machine& pc)
{
    std::vector<DWORD> masks;
    const WPARAM order[] = {DBT_DEVICEREMOVEPENDING, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL};
    auto broadcasts = pc.Shell().Broadcasts();
    for (size_t i = 0; i < broadcasts.size(); ++i) {
        const testbed::BroadcastRecord& sent = broadcasts[i];
        EXPECT_EQ(sent.flags, DWORD(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK));
        EXPECT_FALSE(sent.hasRecipients);
        EXPECT_EQ(sent.message, UINT(WM_DEVICECHANGE));
        EXPECT_EQ(sent.wParam, order[i % 3]);
        EXPECT_EQ(sent.record.size(), 20u);
        if (sent.record.size() < sizeof(DEV_BROADCAST_VOLUME))
            continue;
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(sent.record.data());
        EXPECT_EQ(volume->dbcv_devicetype, DWORD(DBT_DEVTYP_VOLUME));
        EXPECT_EQ(volume->dbcv_flags, 0);
        masks.push_back(volume->dbcv_unitmask);
    }
    return masks;
}

TEST(DriveRemount, LettersAreNotifiedAndBroadcastByWindowsVersion)
{
    const struct {
        const wchar_t* arguments;
        DWORD major, minor;
        std::vector<std::wstring> roots;
        DWORD broadcastMask;   // 0: no broadcast
    } cases[] = {
        {L"EF", 6, 1, {L"E:\\", L"F:\\"}, 0x30},
        {L"ef", 6, 0, {L"E:\\", L"F:\\"}, 0x30},
        {L"EF", 5, 1, {L"E:\\", L"F:\\"}, 0x30},
        {L"1E-", 6, 2, {L"E:\\"}, 0},
        {L"EF", 10, 0, {L"E:\\", L"F:\\"}, 0},
        {L"123", 6, 1, {}, 0xFFFF},
        {L"123", 6, 3, {}, 0},
        {L"", 6, 1, {}, 0},
    };
    for (const auto& each : cases) {
        testbed::Machine pc;
        pc.SetWindowsVersion(each.major, each.minor);
        RemountDrives(each.arguments);
        EXPECT_EQ(NotifiedRoots(pc), each.roots) << each.arguments;
        std::vector<DWORD> masks = BroadcastMasks(pc);
        if (each.broadcastMask)
            EXPECT_EQ(masks, std::vector<DWORD>(3, each.broadcastMask)) << each.arguments;
        else
            EXPECT_TRUE(masks.empty()) << each.arguments;
    }
}

// The service's side of the pipe as far as the remounter needs it: the interface version and
// the state of each drive it knows, one connection after the other.
class StandInService {
public:
    StandInService(std::map<WCHAR, LONG> states, DWORD versionMinor = 0)
        : states_(std::move(states)), versionMinor_(versionMinor),
          pipe_([this](const BYTE* request, DWORD size, std::vector<BYTE>& reply) {
              Answer(request, size, reply);
              return true;
          })
    {
    }
    std::vector<WCHAR> asked;

private:
    void Answer(const BYTE* request, DWORD size, std::vector<BYTE>& reply)
    {
        StandInServicePipe::AppendWord(reply, 0);
        if (request[0] == CMD_GET_VERSION) {
            for (DWORD word : {DWORD(1), versionMinor_, DWORD(1), DWORD(1)})
                StandInServicePipe::AppendWord(reply, word);
        } else if (request[0] == CMD_QUERY_DRIVE_STATE && size >= 6) {
            WCHAR letter = WCHAR(request[4] | request[5] << 8);
            asked.push_back(letter);
            auto found = states_.find(letter);
            StandInServicePipe::AppendWord(reply, found != states_.end() ? 1 : 0);
            StandInServicePipe::AppendWord(reply, found != states_.end() ? DWORD(found->second) : DWORD(-1));
        }
    }

    std::map<WCHAR, LONG> states_;
    DWORD versionMinor_;
    StandInServicePipe pipe_;
};

// C: the system, E: and G: read-only, F: blocked, H: unknown to the service.
struct ReadOnlyPc {
    ReadOnlyPc()
    {
        pc.SetWindowsVersion(6, 1);
        pc.AddVolumeWithoutInterface(L'C', DRIVE_FIXED);
        for (wchar_t letter : {L'E', L'F', L'G', L'H'})
            pc.AddVolumeWithoutInterface(letter, DRIVE_REMOVABLE);
    }
    testbed::Machine pc;
};

TEST(DriveRemount, AllReadOnlyNotifiesExactlyTheReadOnlyDrives)
{
    for (const wchar_t* keyword : {L"ALLRO", L"allro", L"AllRo"}) {
        ReadOnlyPc setup;
        StandInService service({{L'C', 0}, {L'E', 2}, {L'F', 1}, {L'G', 3}});
        RemountDrives(keyword);
        EXPECT_EQ(NotifiedRoots(setup.pc), (std::vector<std::wstring>{L"E:\\", L"G:\\"})) << keyword;
        EXPECT_EQ(BroadcastMasks(setup.pc), std::vector<DWORD>(3, 0x50u)) << keyword;
    }
}

TEST(DriveRemount, AllReadOnlyWithoutReadOnlyDriveDoesNothing)
{
    ReadOnlyPc setup;
    StandInService service({{L'C', 0}, {L'E', 0}, {L'F', 1}});
    RemountDrives(L"ALLRO");
    EXPECT_TRUE(setup.pc.Shell().Notifications().empty());
    EXPECT_TRUE(setup.pc.Shell().Broadcasts().empty());
}

TEST(DriveRemount, ServiceOfAnotherVersionOrNoServiceGivesNoDrive)
{
    {
        ReadOnlyPc setup;
        StandInService service({{L'E', 2}}, 7);
        LONG state = -1;
        EXPECT_FALSE(QueryDriveState(L'E', state));
        EXPECT_TRUE(service.asked.empty());
    }
    ReadOnlyPc setup;
    setup.pc.sleepAdvancesClock = true;
    DWORD before = GetTickCount();
    EXPECT_TRUE(ReadOnlyDrives().IsEmpty());
    // Each existing drive waited the full five seconds of the machine's clock for the service.
    EXPECT_GE(GetTickCount() - before, 5u * 5000u);
}

TEST(DriveRemount, UnitMaskCountsLettersOnly)
{
    EXPECT_EQ(DriveUnitMask(L"AZ"), 0x2000001u);
    EXPECT_EQ(DriveUnitMask(L"az"), 0x2000001u);
    EXPECT_EQ(DriveUnitMask(L"E E"), 0x10u);
    EXPECT_EQ(DriveUnitMask(L"\\:1-[@"), 0u);
}

}  // namespace

namespace {

// The program that the service starts lies one folder above this test executable.
std::wstring RemounterProgram()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring own(path, length);
    std::wstring folder = own.substr(0, own.find_last_of(L"\\/"));
    return folder.substr(0, folder.find_last_of(L"\\/")) + L"\\QEVRINrmt.exe";
}

TEST(RemounterProgram, ManifestAsksForNoElevationAndNamesWindowsUpTo81)
{
    HMODULE program = LoadLibraryExW(RemounterProgram().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(program, found)));
    std::string manifest(text, SizeofResource(program, found));
    FreeLibrary(program);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("{1f676c76-80e1-4239-95bb-83d0f6d0da78}"), std::string::npos);
    // Nothing later than 8.1: the version probe must not see Windows 10.
    EXPECT_EQ(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

}  // namespace
