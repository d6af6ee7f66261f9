#pragma once
//
//  Carries the filter driver's named volume event out of the kernel stand-in: each time the
//  driver signals "\BaseNamedObjects\{7A2816EC-...}" in the stand-in, the real Win32 event of
//  that name is set, so that the program's own wait thread waits on a real event.
//
#include "classlib/ScopedHandle.h"
#include "testbed/bridge/KernelPc.h"

#include <thread>

namespace testbed {
namespace variant {

class VolumeEventBridge {
public:
    explicit VolumeEventBridge(bridge::KernelPc& kernel);
    ~VolumeEventBridge();
    VolumeEventBridge(const VolumeEventBridge&) = delete;
    VolumeEventBridge& operator=(const VolumeEventBridge&) = delete;

    bool Running() const { return thread_.joinable(); }

private:
    void Run();

    bridge::KernelPc& kernel_;
    ScopedHandle event_;
    ScopedHandle stop_;
    std::thread thread_;
};

}  // namespace variant
}  // namespace testbed
