//
//  A full enumeration (volume map and USB walk with every info bit) of a large machine beside
//  the same walk reading only the ids, in one run: both figures and their ratio.
//
#include "core/usb/UsbDeviceEnumerator.h"
#include "testbed/machine/Machine.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

const int kControllers = 8;
const int kDevicesPerController = 8;
const int kRounds = 30;

// Per controller: a root hub with three hubs chained below its first port (four hub
// levels), and eight sticks spread over the four levels, each with one volume.
void BuildLargeMachine(testbed::Machine& pc)
{
    pc.SetWindowsVersion(6, 3);
    int device = 0;
    wchar_t letter = L'D';
    auto plug = [&](testbed::UsbHub& hub, int port) {
        wchar_t serial[16];
        swprintf(serial, 16, L"BENCH%04d", device);
        testbed::UsbDevice& stick = hub.Plug(port, testbed::UsbStick(0x0781, WORD(0x5500 + device), L"Bench", L"Stick", serial));
        pc.AddVolume(stick.Disk(), letter <= L'Z' ? letter++ : 0);
        ++device;
    };
    for (int c = 0; c < kControllers; ++c) {
        testbed::UsbHub& root = pc.AddHostController(4).RootHub();
        testbed::UsbHub& second = root.PlugHub(1, 4);
        testbed::UsbHub& third = second.PlugHub(1, 4);
        testbed::UsbHub& fourth = third.PlugHub(1, 4);
        for (int port = 2; port <= 4; ++port)
            plug(root, port);
        for (int port = 2; port <= 4; ++port)
            plug(second, port);
        plug(third, 2);
        plug(fourth, 1);
    }
}

// Milliseconds per walk, and the number of devices the last walk found.
double TimeWalks(DWORD mask, size_t* found)
{
    std::vector<UsbStorageDevice> devices;
    UsbDeviceEnumerator enumerator(devices);
    enumerator.SetInfoMask(mask);
    enumerator.Walk();  // warm-up
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int round = 0; round < kRounds; ++round) {
        enumerator.SetInfoMask(mask);
        enumerator.Walk();
    }
    QueryPerformanceCounter(&end);
    *found = devices.size();
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart) / kRounds;
}

}  // namespace

int main()
{
    testbed::Machine pc;
    BuildLargeMachine(pc);
    size_t fullDevices = 0, idDevices = 0;
    double full = TimeWalks(UsbDeviceEnumerator::INFO_ALL, &fullDevices);
    double ids = TimeWalks(UsbDeviceEnumerator::INFO_VENDOR_ID | UsbDeviceEnumerator::INFO_PRODUCT_ID, &idDevices);
    std::printf("machine: %d controllers, 4 hub levels, %d devices\n", kControllers, kControllers * kDevicesPerController);
    std::printf("full enumeration (mask 0x3FF): %8.3f ms per walk, %zu devices\n", full, fullDevices);
    std::printf("ids only         (mask 0x003): %8.3f ms per walk, %zu devices\n", ids, idDevices);
    std::printf("ratio full / ids only:         %8.2f\n", ids > 0 ? full / ids : 0.0);
    return fullDevices == size_t(kControllers * kDevicesPerController) && idDevices == fullDevices ? 0 : 1;
}
