#pragma once
//
//  The simulated PC that a scenario describes, built and kept alive: the machine model, and
//  the kernel stand-in with the filter driver loaded when the scenario has the driver, and the
//  disc recorders with the platform's disc-recording objects when the scenario describes them.
//  Sticks are plugged and unplugged, recorders changed, by their scenario names while product
//  code runs.
//  the kernel stand-in with the filter driver loaded when the scenario has the driver, the
//  portable devices and the user sessions. Sticks and portable devices are plugged and
//  unplugged by their scenario names while product code runs.
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

    // False with the reason when the name is no stick or portable device of the scenario, or
    // the device is already in that state. Unmounted, a plugged stick's volumes wait for their
    // first use, so the driver attaches and signals only then. A portable device keeps its
    // disable flag while it is away, as the configuration does.
    bool Plug(const std::string& name, bool mount, std::string& error);
    bool Unplug(const std::string& name, std::string& error);

    // Null when the scenario describes no disc recording.
    DiscSystem* Discs() { return discs_.get(); }
    // The recorder of that scenario name, or null.
    DiscRecorder* RecorderByName(const std::string& name);
    // The node of a portable device of the scenario, present or not; null for another name.
    DeviceNode* Portable(const std::string& name);
    // What the scenario calls a node: "E:" for a lettered volume, the name of a portable
    // device, else its instance id.
    std::string NodeLabel(DeviceNode& node);

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
    void AddSessionProcesses();
    void AddSessions();

    scenario::Scenario scenario_;
    Machine machine_;
    std::map<std::string, UsbHub*> hubs_;
    std::map<std::string, PluggedStick> plugged_;
    // After the machine, before the bridge: its drives are volumes of the machine.
    std::unique_ptr<DiscSystem> discs_;
    std::map<std::string, DiscRecorder*> recorders_;
    std::map<std::string, DeviceNode*> portables_;
    std::unique_ptr<KernelBridge> bridge_;
    std::wstring lastVolume_;
    std::wstring lastDisk_;
};

DiscMedia DiscMediaOf(scenario::RecorderMedia media);

// UTF-8 of the scenario file as the machine's UTF-16.
// UTF-8 of the scenario file as the machine's UTF-16, and back.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// The domain of the scenario's users.
extern const wchar_t kScenarioDomain[];

}  // namespace testbed
