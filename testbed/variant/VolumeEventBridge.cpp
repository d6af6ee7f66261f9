#include "testbed/variant/VolumeEventBridge.h"

namespace testbed {
namespace variant {
namespace {

// The stand-in has no callback for its events, so the bridge looks at the driver's signal
// count this often; well below the time a pass takes.
const DWORD kPollMilliseconds = 10;

}  // namespace

VolumeEventBridge::VolumeEventBridge(bridge::KernelPc& kernel) : kernel_(kernel)
{
    // Created as the program creates it (manual reset); whichever comes first, both name one
    // object.
    event_.Reset(CreateEventW(nullptr, TRUE, FALSE, L"{7A2816EC-3DB5-428B-8D25-BD712BA4E425}"));
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (event_.IsValid() && stop_.IsValid())
        thread_ = std::thread([this] { Run(); });
}

VolumeEventBridge::~VolumeEventBridge()
{
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
    }
}

void VolumeEventBridge::Run()
{
    size_t seen = 0;
    while (WaitForSingleObject(stop_.Get(), kPollMilliseconds) == WAIT_TIMEOUT) {
        const size_t signals = kernel_.VolumeEventSignals();
        if (signals != seen) {
            seen = signals;
            SetEvent(event_.Get());
        }
    }
}

}  // namespace variant
}  // namespace testbed
