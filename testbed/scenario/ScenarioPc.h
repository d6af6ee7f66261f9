#pragma once
//
//  The simulated PC that a scenario describes, built and kept alive: the machine model, and
//  the kernel stand-in with the filter driver loaded when the scenario has the driver, and the
//  disc recorders with the platform's disc-recording objects when the scenario describes them.
//  Sticks are plugged and unplugged, recorders changed, by their scenario names while product
//  code runs.
//
#include "testbed/bridge/KernelBridge.h"
#include "testbed/imapi/DiscSystem.h"
#include "testbed/scenario/Scenario.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testbed {

class ScenarioPc {
public:
    explicit ScenarioPc(const scenario::Scenario& scenario);
    ~ScenarioPc();
    ScenarioPc(const ScenarioPc&) = delete;
    ScenarioPc& operator=(const ScenarioPc&) = delete;

    Machine& Pc() { return machine_; }
    // Null when the scenario has no driver.
    KernelBridge* Bridge() { return bridge_.get(); }
    const scenario::Scenario& Description() const { return scenario_; }

    // False with the reason when the name is no stick of the scenario or the stick is
    // already in that state. Unmounted, a plugged stick's volumes wait for their first use,
    // so the driver attaches and signals only then.
    bool Plug(const std::string& name, bool mount, std::string& error);
    bool Unplug(const std::string& name, std::string& error);

    // Null when the scenario describes no disc recording.
    DiscSystem* Discs() { return discs_.get(); }
    // The recorder of that scenario name, or null.
    DiscRecorder* RecorderByName(const std::string& name);

    // The present volume with that drive letter, or null.
    Volume* VolumeByLetter(wchar_t letter);
    // Interface paths of the last stick that came or went (its first volume, its disk), for
    // the device broadcasts that a test asks for. Callers serialise Plug, Unplug and this.
    const std::wstring& LastVolumeInterface() const { return lastVolume_; }
    const std::wstring& LastDiskInterface() const { return lastDisk_; }

private:
    struct PluggedStick {
        UsbHub* hub = nullptr;
        int port = 0;
        std::wstring diskInterface;
        std::vector<Volume*> volumes;
    };

    void PlugStick(const scenario::StickSpec& stick);
    void AddDiscs();

    scenario::Scenario scenario_;
    Machine machine_;
    std::map<std::string, UsbHub*> hubs_;
    std::map<std::string, PluggedStick> plugged_;
    // After the machine, before the bridge: its drives are volumes of the machine.
    std::unique_ptr<DiscSystem> discs_;
    std::map<std::string, DiscRecorder*> recorders_;
    std::unique_ptr<KernelBridge> bridge_;
    std::wstring lastVolume_;
    std::wstring lastDisk_;
};

DiscMedia DiscMediaOf(scenario::RecorderMedia media);

// UTF-8 of the scenario file as the machine's UTF-16.
std::wstring Widen(const std::string& text);

}  // namespace testbed
