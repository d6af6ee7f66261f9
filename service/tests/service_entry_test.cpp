// The service entry where it needs no running service: the control handler only posts what
// the control thread must do, checks the event data it is given, and asks for one stop that
// it could hand on; every way out of the control loop stops the core and reports why; a
// control after the stop finds no core; and the service's own access list is narrowed so that
// only SYSTEM and Administrators may send the stopping control.
#include "service/core/ServiceCore.h"
#include "service/entry/ServiceControlAccess.h"
#include "service/entry/ServiceEntry.h"
#include "testbed/machine/interpose.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <wtsapi32.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

// Wine keeps no access list for a service: it answers an empty one and drops what it is given.
// The service control manager's part is played here, starting from the list Windows gives a
// new service, so the test reads back exactly what the service wrote.
namespace {

std::vector<BYTE> storedServiceSecurity;

void StoreSelfRelative(PSECURITY_DESCRIPTOR descriptor)
{
    DWORD size = 0;
    MakeSelfRelativeSD(descriptor, nullptr, &size);
    if (size == 0) {
        // Already self-relative.
        size = GetSecurityDescriptorLength(descriptor);
        const BYTE* bytes = static_cast<const BYTE*>(descriptor);
        storedServiceSecurity.assign(bytes, bytes + size);
        return;
    }
    storedServiceSecurity.assign(size, 0);
    MakeSelfRelativeSD(descriptor, storedServiceSecurity.data(), &size);
}

BOOL WINAPI PlayedQueryServiceObjectSecurity(SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor,
                                             DWORD size, LPDWORD needed)
{
    *needed = static_cast<DWORD>(storedServiceSecurity.size());
    if (size < storedServiceSecurity.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(descriptor, storedServiceSecurity.data(), storedServiceSecurity.size());
    return TRUE;
}

BOOL WINAPI PlayedSetServiceObjectSecurity(SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor)
{
    StoreSelfRelative(descriptor);
    return TRUE;
}

// A post of the stop that the system refuses, as with a full queue.
std::atomic<bool> refuseNextStopPost{false};
BOOL WINAPI RefusingPostThreadMessageW(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam)
{
    static auto real = testbed::RealFunction<decltype(&::PostThreadMessageW)>(L"user32.dll", "PostThreadMessageW");
    if (message == Quelmar::WM_SERVICE_STOP && refuseNextStopPost.exchange(false)) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return real(thread, message, wParam, lParam);
}

// What the service told the service control manager last; no manager is involved here.
std::mutex reportedLock;
SERVICE_STATUS lastReported = {};
BOOL WINAPI RecordingSetServiceStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status)
{
    std::lock_guard<std::mutex> hold(reportedLock);
    lastReported = *status;
    return TRUE;
}

SERVICE_STATUS LastReported()
{
    std::lock_guard<std::mutex> hold(reportedLock);
    return lastReported;
}

}  // namespace

TESTBED_INTERPOSE(QueryServiceObjectSecurity, 20, PlayedQueryServiceObjectSecurity)
TESTBED_INTERPOSE(SetServiceObjectSecurity, 12, PlayedSetServiceObjectSecurity)
TESTBED_INTERPOSE(PostThreadMessageW, 16, RefusingPostThreadMessageW)
TESTBED_INTERPOSE(SetServiceStatus, 8, RecordingSetServiceStatus)

namespace servicetest {
namespace {

using namespace Quelmar;

std::vector<MSG> TakePosted()
{
    std::vector<MSG> posted;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_SERVICE_DEVICE_EVENT, WM_SERVICE_STOP, PM_REMOVE))
        posted.push_back(msg);
    return posted;
}

TEST(ServiceControlHandler, PostsEachControlAndChecksTheSessionRecord)
{
    AttachControlThread();
    TakePosted();
    WTSSESSION_NOTIFICATION record = {sizeof(record), 3};
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), ServiceControlHandler(SERVICE_CONTROL_DEVICEEVENT, 0x8000, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR),
              ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, nullptr, nullptr));
    WTSSESSION_NOTIFICATION truncated = {2, 9};
    ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, &truncated, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, &record, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF, nullptr, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOCK, &record, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    // A stop that could not be handed on is not taken for one: the next 128 still stops.
    refuseNextStopPost = true;
    ServiceControlHandler(SERVICE_CONTROL_QUELMAR_STOP, 0, nullptr, nullptr);
    EXPECT_FALSE(refuseNextStopPost);
    ServiceControlHandler(SERVICE_CONTROL_QUELMAR_STOP, 0, nullptr, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_QUELMAR_STOP, 0, nullptr, nullptr);

    const std::vector<MSG> posted = TakePosted();
    ASSERT_EQ(4u, posted.size());
    EXPECT_EQ(static_cast<UINT>(WM_SERVICE_DEVICE_EVENT), posted[0].message);
    EXPECT_EQ(static_cast<UINT>(WM_SERVICE_LOGON), posted[1].message);
    EXPECT_EQ(3u, posted[1].wParam);
    EXPECT_EQ(static_cast<UINT>(WM_SERVICE_LOGOFF), posted[2].message);
    // SERVICE_CONTROL_STOP is not acted on; two 128s handed on make one stop.
    EXPECT_EQ(static_cast<UINT>(WM_SERVICE_STOP), posted[3].message);
}

TEST(ServiceControlLoop, EveryWayOutStopsTheCoreAndReportsWhy)
{
    const struct {
        const char* way;
        bool quit;
        DWORD exitCode;
    } cases[] = {{"control 128", false, ERROR_SUCCESS}, {"quit message", true, ERROR_REQUEST_ABORTED}};
    for (const auto& c : cases) {
        std::thread control([&] {
            AttachControlThread();
            ASSERT_NE(nullptr, ServiceCore::CreateInstance()) << c.way;
            if (c.quit)
                PostQuitMessage(0);
            else
                ServiceControlHandler(SERVICE_CONTROL_QUELMAR_STOP, 0, nullptr, nullptr);
            RunControlLoop();
            // The stop left no core, and a late control does not make one.
            ServiceControlHandler(SERVICE_CONTROL_DEVICEEVENT, 0, nullptr, nullptr);
            ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF, nullptr, nullptr);
            ServiceControlHandler(SERVICE_CONTROL_QUELMAR_STOP, 0, nullptr, nullptr);
            EXPECT_EQ(nullptr, ServiceCore::GetInstance()) << c.way;
            MSG msg;
            EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_SERVICE_DEVICE_EVENT, WM_SERVICE_STOP, PM_NOREMOVE)) << c.way;
        });
        control.join();
        if (ServiceCore::GetInstance() != nullptr) {
            ADD_FAILURE() << c.way << ": the core outlived the control loop";
            ServiceCore::GetInstance()->Stop();
            ServiceCore::DeleteInstance();
        }
        const SERVICE_STATUS reported = LastReported();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reported.dwCurrentState) << c.way;
        EXPECT_EQ(c.exitCode, reported.dwWin32ExitCode) << c.way;
    }
}

class ServiceAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_);
        name_ = L"QEVRINsAccessTest" + std::to_wstring(GetCurrentProcessId());
        service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, L"C:\\Program Files\\QEVRIN\\QEVRINs.exe",
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, service_);
        // What Windows gives a new service: interactive and service logons may send user
        // controls.
        PSECURITY_DESCRIPTOR initial = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;IU)"
            L"(A;;CCLCSWLOCRRC;;;SU)",
            SDDL_REVISION_1, &initial, nullptr));
        StoreSelfRelative(initial);
        LocalFree(initial);
        ASSERT_EQ(0x100u, RightsOf(WinInteractiveSid) & SERVICE_USER_DEFINED_CONTROL);
    }
    void TearDown() override
    {
        if (service_ != nullptr) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_ != nullptr)
            CloseServiceHandle(manager_);
    }

    // The rights the service's access list gives the well-known account.
    DWORD RightsOf(WELL_KNOWN_SID_TYPE type)
    {
        DWORD needed = 0;
        QueryServiceObjectSecurity(service_, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::vector<BYTE> descriptor(needed);
        EXPECT_TRUE(QueryServiceObjectSecurity(service_, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed));
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        CreateWellKnownSid(type, nullptr, sid, &size);
        DWORD rights = 0;
        for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            GetAce(dacl, i, reinterpret_cast<void**>(&ace));
            if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, sid))
                rights |= ace->Mask;
        }
        return rights;
    }

    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    std::wstring name_;
};

TEST_F(ServiceAccessTest, OnlySystemAndAdministratorsMaySendTheStoppingControl)
{
    ASSERT_TRUE(RestrictUserDefinedControl(name_.c_str()));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_USER_DEFINED_CONTROL),
              RightsOf(WinLocalSystemSid) & SERVICE_USER_DEFINED_CONTROL);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_USER_DEFINED_CONTROL),
              RightsOf(WinBuiltinAdministratorsSid) & SERVICE_USER_DEFINED_CONTROL);
    for (WELL_KNOWN_SID_TYPE other : {WinInteractiveSid, WinServiceSid, WinAuthenticatedUserSid, WinWorldSid}) {
        const DWORD rights = RightsOf(other);
        EXPECT_EQ(0u, rights & SERVICE_USER_DEFINED_CONTROL) << other;
    }
    // Everyone keeps the rest of what they had: querying, and the administrators' full rights.
    const DWORD query = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                        SERVICE_INTERROGATE | READ_CONTROL;
    EXPECT_EQ(query, RightsOf(WinInteractiveSid));
    EXPECT_EQ(query, RightsOf(WinServiceSid));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ALL_ACCESS), RightsOf(WinBuiltinAdministratorsSid));
}

}  // namespace
}  // namespace servicetest
