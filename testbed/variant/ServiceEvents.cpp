#include "testbed/variant/ServiceEvents.h"

#include <dbt.h>
#include <wtsapi32.h>

#include <cstddef>
#include <cstring>

namespace testbed {
namespace variant {
namespace {

const GUID kVolumeInterfaceClass = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kDiskInterfaceClass = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

void DeviceInterfaceBroadcast(const GUID& classGuid, const std::wstring& path, TranslatedControl& translated)
{
    const size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (path.size() + 1) * sizeof(WCHAR);
    translated.data.assign((size + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(translated.data.data());
    broadcast->dbcc_size = static_cast<DWORD>(size);
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_reserved = 0;
    broadcast->dbcc_classguid = classGuid;
    std::memcpy(broadcast->dbcc_name, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
}

void SessionNotification(DWORD sessionId, TranslatedControl& translated)
{
    translated.data.assign((sizeof(WTSSESSION_NOTIFICATION) + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    auto* notification = reinterpret_cast<WTSSESSION_NOTIFICATION*>(translated.data.data());
    notification->cbSize = sizeof(WTSSESSION_NOTIFICATION);
    notification->dwSessionId = sessionId;
}

}  // namespace

bool TranslateReservedControl(DWORD control, const std::wstring& volumeInterface, const std::wstring& diskInterface,
                              TranslatedControl& translated)
{
    translated = TranslatedControl();
    switch (control) {
    case 200:
    case 201:
    case 202:
    case 203: {
        const bool volume = control <= 201;
        translated.control = SERVICE_CONTROL_DEVICEEVENT;
        translated.eventType = (control % 2 == 0) ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        DeviceInterfaceBroadcast(volume ? kVolumeInterfaceClass : kDiskInterfaceClass,
                                 volume ? volumeInterface : diskInterface, translated);
        return true;
    }
    case 204:
    case 205:
    case 206:
    case 207:
    case 208:
    case 209:
        translated.control = SERVICE_CONTROL_SESSIONCHANGE;
        translated.eventType = (control % 2 == 0) ? WTS_SESSION_LOGON : WTS_SESSION_LOGOFF;
        SessionNotification((control - 204) / 2 + 1, translated);
        return true;
    }
    return false;
}

}  // namespace variant
}  // namespace testbed
