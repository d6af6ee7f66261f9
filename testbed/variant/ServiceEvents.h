#pragma once
//
//  Device and session events that Wine's service control manager never sends. A helper sends
//  a testbed-reserved user control through ControlService; the variant's wrapper of the
//  program's control handler turns it into the control, event type and event data that the
//  service control manager would pass, and calls the program's handler with them on the
//  dispatcher thread.
//
//    200 volume arrival    201 volume removal    (device-interface broadcast of the volume)
//    202 disk arrival      203 disk removal      (device-interface broadcast of the disk)
//    204 logon, session 1  205 logoff, session 1
//    206 logon, session 2  207 logoff, session 2
//    208 logon, session 3  209 logoff, session 3
//    210 reserved; refused with ERROR_CALL_NOT_IMPLEMENTED, never passed on
//
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testbed {
namespace variant {

const DWORD kFirstReservedControl = 200;
const DWORD kLastReservedControl = 210;

struct TranslatedControl {
    DWORD control = 0;
    DWORD eventType = 0;
    // The event data, 8-byte aligned; empty for none.
    std::vector<uint64_t> data;
    void* Data() { return data.empty() ? nullptr : data.data(); }
};

inline bool IsReservedControl(DWORD control)
{
    return control >= kFirstReservedControl && control <= kLastReservedControl;
}

// False for a reserved code that carries no event. The interface paths name the volume and
// disk of the last stick that came or went.
bool TranslateReservedControl(DWORD control, const std::wstring& volumeInterface, const std::wstring& diskInterface,
                              TranslatedControl& translated);

}  // namespace variant
}  // namespace testbed
