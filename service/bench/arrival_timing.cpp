// Time from a stick's arrival on the simulated PC to the driver holding its rule: the stick
// is plugged, a pass enumerates, decides and sends, and the filter on the kernel stand-in
// stores the new table. Printed beside a pass that finds nothing changed, in the same run.
// Runs under Wine (Windows presets); not a test.
#include "service/tests/DecisionValues.h"
#include "service/tests/EnforcementPass.h"
#include "service/volumes/StorageQuery.h"
#include "testbed/bridge/KernelBridge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace servicetest;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Micros(Clock::time_point start) { return std::chrono::duration<double, std::micro>(Clock::now() - start).count(); }

}  // namespace

int main()
{
    const int arrivals = 15;
    testbed::Machine pc;
    testbed::DeviceNode& systemDisk = pc.AddNode(pc.Root(), L"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000");
    pc.AddVolume(&systemDisk, L'C', DRIVE_FIXED);
    pc.windowsFolder = L"C:\\Windows";
    pc.programFile = L"C:\\Program Files\\QEVRIN\\QEVRINs.exe";
    testbed::UsbHub& hub = pc.AddHostController(arrivals + 1).RootHub();
    pc.AddVolume(hub.Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"KNOWN")).Disk(), L'E');

    testbed::KernelBridge bridge(pc);
    Quelmar::QuelmarDecision thread;
    Quelmar::SettingV3 setting;
    setting.outsidePolicy = 1;
    setting.blockInternalSd = 1;
    setting.whitelist = {Entry(0x0781, 0x5567, _T("KNOWN"), UseVendor | UseProduct | UseSerial, 0)};
    thread.TakeSetting(setting);
    if (!Quelmar::DriverControl::GetInstance()->Open(1000)) {
        std::fprintf(stderr, "the driver's control device did not open\n");
        return 1;
    }
    Quelmar::BuildSystemVolumeList(thread.SystemVolumeList());
    RunPass(thread);

    std::vector<double> arrivalMicros, steadyMicros;
    for (int i = 0; i < arrivals; ++i) {
        Clock::time_point start = Clock::now();
        RunPass(thread);
        steadyMicros.push_back(Micros(start));

        start = Clock::now();
        testbed::UsbDevice& stick = hub.Plug(i + 2, testbed::UsbStick(0x090C, 0x1000, L"Generic", L"Flash",
                                                                   L"ARRIVAL" + std::to_wstring(i)));
        testbed::Volume& volume = pc.AddVolume(stick.Disk(), static_cast<wchar_t>(L'F' + i));
        bridge.AddKernelVolume(volume);
        RunPass(thread);
        int32_t state = -1;
        const bool held = bridge.Kernel().DriverRule(volume.deviceName, &state);
        arrivalMicros.push_back(Micros(start));
        if (!held || state != 1) {
            std::fprintf(stderr, "arrival %d: the driver holds no blocking rule for the stick\n", i);
            return 1;
        }
    }
    Quelmar::DriverControl::DeleteInstance();
    const double arrival = Median(arrivalMicros), steady = Median(steadyMicros);
    std::printf("stick arrival to driver rule: median %.1f us over %d arrivals (2 to %d volumes)\n", arrival,
                arrivals, arrivals + 2);
    std::printf("pass that finds no change:    median %.1f us\n", steady);
    std::printf("ratio arrival / unchanged pass: %.2f\n", arrival / steady);
    return 0;
}
