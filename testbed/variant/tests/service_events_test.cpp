// The reserved user controls become the very arguments that the service control manager
// passes with a device or session event.
#include "testbed/variant/ServiceEvents.h"

#include <dbt.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace testbed {
namespace variant {
namespace {

const GUID kVolumeClass = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kDiskClass = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const std::wstring kVolume = L"\\\\?\\STORAGE#VOLUME#_??_USBSTOR#1#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
const std::wstring kDisk = L"\\\\?\\USBSTOR#DISK#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

TEST(ReservedControl, DeviceControlsCarryAnInterfaceBroadcast)
{
    const struct {
        DWORD code;
        DWORD eventType;
        const GUID* classGuid;
        const std::wstring* path;
    } cases[] = {{200, DBT_DEVICEARRIVAL, &kVolumeClass, &kVolume},
                 {201, DBT_DEVICEREMOVECOMPLETE, &kVolumeClass, &kVolume},
                 {202, DBT_DEVICEARRIVAL, &kDiskClass, &kDisk},
                 {203, DBT_DEVICEREMOVECOMPLETE, &kDiskClass, &kDisk}};
    for (const auto& c : cases) {
        TranslatedControl translated;
        ASSERT_TRUE(TranslateReservedControl(c.code, kVolume, kDisk, translated)) << c.code;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_CONTROL_DEVICEEVENT), translated.control) << c.code;
        EXPECT_EQ(c.eventType, translated.eventType) << c.code;
        const auto* broadcast = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(translated.Data());
        ASSERT_NE(nullptr, broadcast);
        EXPECT_EQ(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (c.path->size() + 1) * sizeof(WCHAR),
                  broadcast->dbcc_size)
            << c.code;
        EXPECT_LE(broadcast->dbcc_size, translated.data.size() * sizeof(uint64_t));
        EXPECT_EQ(static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE), broadcast->dbcc_devicetype);
        EXPECT_TRUE(IsEqualGUID(*c.classGuid, broadcast->dbcc_classguid)) << c.code;
        EXPECT_EQ(*c.path, std::wstring(broadcast->dbcc_name)) << c.code;
    }
}

TEST(ReservedControl, SessionControlsCarryTheSessionId)
{
    const struct {
        DWORD code;
        DWORD eventType;
        DWORD session;
    } cases[] = {{204, WTS_SESSION_LOGON, 1}, {205, WTS_SESSION_LOGOFF, 1}, {206, WTS_SESSION_LOGON, 2}, {207, WTS_SESSION_LOGOFF, 2},
                 {208, WTS_SESSION_LOGON, 3}, {209, WTS_SESSION_LOGOFF, 3}};
    for (const auto& c : cases) {
        TranslatedControl translated;
        ASSERT_TRUE(TranslateReservedControl(c.code, kVolume, kDisk, translated)) << c.code;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_CONTROL_SESSIONCHANGE), translated.control);
        EXPECT_EQ(c.eventType, translated.eventType);
        const auto* notification = static_cast<const WTSSESSION_NOTIFICATION*>(translated.Data());
        ASSERT_NE(nullptr, notification);
        EXPECT_EQ(sizeof(WTSSESSION_NOTIFICATION), notification->cbSize);
        EXPECT_EQ(c.session, notification->dwSessionId);
    }
}

TEST(ReservedControl, OnlyTheTestbedRangeIsTakenAndItsSpareCodesCarryNothing)
{
    EXPECT_FALSE(IsReservedControl(128));
    EXPECT_FALSE(IsReservedControl(199));
    EXPECT_TRUE(IsReservedControl(200));
    EXPECT_TRUE(IsReservedControl(210));
    EXPECT_FALSE(IsReservedControl(211));
    TranslatedControl translated;
    EXPECT_FALSE(TranslateReservedControl(210, kVolume, kDisk, translated));
    EXPECT_EQ(nullptr, translated.Data());
}

}  // namespace
}  // namespace variant
}  // namespace testbed
