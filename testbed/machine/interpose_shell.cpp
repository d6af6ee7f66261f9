//
//  The desktop's broadcasts and the shell's change notifications, recorded on the machine's
//  shell record instead of delivered. Without a machine they go to the system.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/ShellRecorder.h"
#include "testbed/machine/interpose.h"

#include <dbt.h>
#include <shlobj.h>

#include <cstring>

namespace testbed {
namespace {

long WINAPI TestbedBroadcastSystemMessageW(DWORD flags, LPDWORD recipients, UINT message, WPARAM wParam, LPARAM lParam)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::BroadcastSystemMessageW)>(L"user32.dll", "BroadcastSystemMessageW");
        return real(flags, recipients, message, wParam, lParam);
    }
    BroadcastRecord record = {flags, recipients != nullptr, recipients ? *recipients : 0, message, wParam, {}};
    if (message == WM_DEVICECHANGE && lParam) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        // The record says its own size; a size below the header's is kept as the header alone.
        DWORD size = header->dbch_size >= sizeof(DEV_BROADCAST_HDR) ? header->dbch_size : DWORD(sizeof(DEV_BROADCAST_HDR));
        record.record.assign(reinterpret_cast<const BYTE*>(lParam), reinterpret_cast<const BYTE*>(lParam) + size);
    }
    machine->Shell().Record(std::move(record));
    return 1;
}

void WINAPI TestbedSHChangeNotify(LONG eventId, UINT flags, LPCVOID item1, LPCVOID item2)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::SHChangeNotify)>(L"shell32.dll", "SHChangeNotify");
        real(eventId, flags, item1, item2);
        return;
    }
    ShellNotification notification = {eventId, flags, {}, {}};
    if ((flags & SHCNF_TYPE) == SHCNF_PATHW) {
        if (item1)
            notification.path1 = static_cast<const wchar_t*>(item1);
        if (item2)
            notification.path2 = static_cast<const wchar_t*>(item2);
    }
    machine->Shell().Record(std::move(notification));
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(BroadcastSystemMessageW, 20, testbed::TestbedBroadcastSystemMessageW)
TESTBED_INTERPOSE(SHChangeNotify, 16, testbed::TestbedSHChangeNotify)
