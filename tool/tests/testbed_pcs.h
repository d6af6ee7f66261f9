#pragma once
//
//  The simulated PCs of the tool tests.
//
#include "testbed/machine/Machine.h"

namespace tooltest {

// Windows 8.1 (so the dialogs ask the service for an exemption), one host controller with a
// four-port root hub.
struct ToolPc {
    ToolPc() { pc.SetWindowsVersion(6, 3); }
    // A stick with a volume at letter on the port.
    testbed::UsbDevice& PlugStick(int port, WORD vid, WORD pid, const wchar_t* serial, wchar_t letter,
                                  const wchar_t* maker = L"SanDisk", const wchar_t* product = L"Cruzer")
    {
        testbed::UsbDevice& stick = root.Plug(port, testbed::UsbStick(vid, pid, maker, product, serial));
        pc.AddVolume(stick.Disk(), letter);
        return stick;
    }
    testbed::Machine pc;
    testbed::UsbHub& root = pc.AddHostController(4).RootHub();
};

}  // namespace tooltest
