#include "testbed/scenario/ScenarioPc.h"

#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Sessions.h"

#include <winioctl.h>

namespace testbed {

const wchar_t kScenarioDomain[] = L"WORKSTATION";

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

ScenarioPc::ScenarioPc(const scenario::Scenario& scenario) : scenario_(scenario)
{
    machine_.SetWindowsVersion(static_cast<DWORD>(scenario.windowsMajor), static_cast<DWORD>(scenario.windowsMinor));
    machine_.windows64 = scenario.windows64;
    for (const scenario::DiskSpec& spec : scenario.disks) {
        DeviceNode& disk = machine_.AddNode(machine_.Root(), Widen(spec.instanceId));
        const UINT type = spec.kind == scenario::DiskKind::CardReader ? DRIVE_REMOVABLE : DRIVE_FIXED;
        for (char letter : spec.letters) {
            Volume& volume = machine_.AddVolume(&disk, static_cast<wchar_t>(letter), type);
            if (spec.kind == scenario::DiskKind::CardReader)
                volume.storage.busType = BusTypeSd;
        }
        if (spec.kind == scenario::DiskKind::System)
            machine_.windowsFolder = std::wstring(1, static_cast<wchar_t>(spec.letters.front())) + L":\\Windows";
    }
    for (const scenario::HubSpec& spec : scenario.hubs) {
        if (spec.on.empty())
            hubs_[spec.name] = &machine_.AddHostController(spec.ports).RootHub();
        else
            hubs_[spec.name] = &hubs_.at(spec.on)->PlugHub(spec.port, spec.ports);
    }
    for (const scenario::StickSpec& stick : scenario.sticks)
        if (stick.plugged)
            PlugStick(stick);
    if (scenario.discsDescribed)
        AddDiscs();
    // Every portable device gets its node now, so that its driver key does not depend on when
    // a test plugs it; one described unplugged is away until then.
    for (const scenario::PortableSpec& spec : scenario.portables) {
        DeviceNode& node = AddPortableDevice(machine_, Widen(spec.friendlyName));
        if (spec.disabledByUser)
            machine_.Installer().DisableByUser(node);
        if (!spec.plugged)
            machine_.RemoveNode(node);
        portables_[spec.name] = &node;
    }
    AddSessions();
    AddSessionProcesses();
    if (scenario.driverPresent) {
        // The kernel gets every volume present now, mounted as at boot.
        bridge_.reset(new KernelBridge(machine_));
        for (Volume* volume : machine_.Volumes())
            bridge_->Kernel().MountVolume(volume->deviceName);
    }
    lastVolume_.clear();
    lastDisk_.clear();
}

ScenarioPc::~ScenarioPc()
{
    // The kernel goes first: its volumes name the machine's.
    bridge_.reset();
    discs_.reset();
}

void ScenarioPc::AddDiscs()
{
    discs_.reset(new DiscSystem(machine_));
    discs_->firstGenerationRegistered = scenario_.imapiV1;
    discs_->imapi2.present = scenario_.imapiV2;
    for (const scenario::RecorderSpec& spec : scenario_.recorders) {
        const DiscMedia media = DiscMediaOf(spec.media);
        DiscRecorder* recorder;
        if (spec.letter)
            recorder = &discs_->AddRecorder(static_cast<wchar_t>(spec.letter), media);
        else if (!spec.folder.empty())
            recorder = &discs_->AddFolderMountedRecorder(Widen(spec.folder), media);
        else
            recorder = &discs_->AddUnmountedRecorder(media);
        recorder->heldByOtherProgram = spec.heldByOtherProgram;
        recorders_[spec.name] = recorder;
    }
}

void ScenarioPc::AddSessionProcesses()
{
    if (scenario_.sessions.empty())
        return;
    UserSessions& sessions = machine_.Sessions();
    for (const scenario::ProcessSpec& spec : scenario_.processes)
        sessions.StartProcess(static_cast<DWORD>(spec.session), *sessions.SessionUser(static_cast<DWORD>(spec.session)),
                              Widen(spec.image));
    // A simulated start joins the session's process list, so a program that watches for what
    // it started finds it there.
    if (scenario_.sessionProgramsSimulated)
        sessions.startForReal = false;
}

DiscRecorder* ScenarioPc::RecorderByName(const std::string& name)
{
    auto found = recorders_.find(name);
    return found == recorders_.end() ? nullptr : found->second;
}

DiscMedia DiscMediaOf(scenario::RecorderMedia media)
{
    switch (media) {
    case scenario::RecorderMedia::None:
        return DiscMedia::None;
    case scenario::RecorderMedia::Blank:
        return DiscMedia::Blank;
    case scenario::RecorderMedia::Recorded:
        return DiscMedia::Recorded;
    case scenario::RecorderMedia::Unreadable:
        return DiscMedia::Unreadable;
    }
    return DiscMedia::None;
}

void ScenarioPc::AddSessions()
{
    if (scenario_.sessions.empty())
        return;
    UserSessions& sessions = machine_.Sessions();
    std::map<std::string, const SimulatedUser*> users;
    for (const scenario::SessionSpec& spec : scenario_.sessions) {
        const SimulatedUser* user = nullptr;
        if (!spec.user.empty()) {
            const SimulatedUser*& known = users[spec.user];
            if (!known)
                known = &sessions.AddUser(kScenarioDomain, Widen(spec.user));
            user = known;
        }
        sessions.AddSession(static_cast<DWORD>(spec.id), user);
        if (spec.console)
            sessions.SetConsoleSession(static_cast<DWORD>(spec.id));
    }
    sessions.pipeNotConnectedFailures = scenario_.pipeNotConnectedFailures;
    // The programs a variant starts in a session run, so that their own variants can be watched.
    sessions.startForReal = true;
}

DeviceNode* ScenarioPc::Portable(const std::string& name)
{
    auto found = portables_.find(name);
    return found == portables_.end() ? nullptr : found->second;
}

std::string ScenarioPc::NodeLabel(DeviceNode& node)
{
    std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
    for (const auto& portable : portables_)
        if (portable.second == &node)
            return portable.first;
    for (Volume* volume : machine_.Volumes())
        if (volume->node == &node && !volume->letters.empty())
            return std::string(1, static_cast<char>(volume->letters.front())) + ":";
    return Narrow(node.InstanceId());
}

void ScenarioPc::PlugStick(const scenario::StickSpec& stick)
{
    PluggedStick plugged;
    plugged.hub = hubs_.at(stick.on);
    plugged.port = stick.port;
    {
        // The enumeration never sees a stick without its volumes.
        std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
        UsbDevice& device = plugged.hub->Plug(stick.port, UsbStick(stick.vendorId, stick.productId, Widen(stick.manufacturer),
                                                                   Widen(stick.product), Widen(stick.serial)));
        for (char letter : stick.letters)
            plugged.volumes.push_back(&machine_.AddVolume(device.Disk(), static_cast<wchar_t>(letter)));
        // The disk interface as the storage class names it: the instance id with '#' for '\'.
        std::wstring id = device.Disk() ? device.Disk()->InstanceId() : std::wstring();
        for (wchar_t& c : id)
            if (c == L'\\')
                c = L'#';
        plugged.diskInterface = L"\\\\?\\" + id + L"#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    }
    lastVolume_ = plugged.volumes.empty() ? std::wstring() : plugged.volumes.front()->interfacePath;
    lastDisk_ = plugged.diskInterface;
    plugged_[stick.name] = plugged;
}

bool ScenarioPc::Plug(const std::string& name, bool mount, std::string& error)
{
    if (DeviceNode* portable = Portable(name)) {
        if (portable->Present()) {
            error = "portable device '" + name + "' is plugged already";
            return false;
        }
        machine_.Installer().Reconnect(*portable);
        return true;
    }
    const scenario::StickSpec* stick = scenario_.FindStick(name);
    if (!stick) {
        error = "no device named '" + name + "' in the scenario";
        return false;
    }
    if (plugged_.count(name)) {
        error = "stick '" + name + "' is plugged already";
        return false;
    }
    PlugStick(*stick);
    if (bridge_) {
        for (Volume* volume : plugged_[name].volumes) {
            bridge_->AddKernelVolume(*volume);
            if (mount)
                bridge_->Kernel().MountVolume(volume->deviceName);
        }
    }
    return true;
}

bool ScenarioPc::Unplug(const std::string& name, std::string& error)
{
    if (DeviceNode* portable = Portable(name)) {
        if (!portable->Present()) {
            error = "portable device '" + name + "' is not plugged";
            return false;
        }
        machine_.RemoveNode(*portable);
        return true;
    }
    auto found = plugged_.find(name);
    if (found == plugged_.end()) {
        error = scenario_.FindStick(name) ? "stick '" + name + "' is not plugged" : "no device named '" + name + "' in the scenario";
        return false;
    }
    found->second.hub->Unplug(found->second.port);
    lastVolume_ = found->second.volumes.empty() ? std::wstring() : found->second.volumes.front()->interfacePath;
    lastDisk_ = found->second.diskInterface;
    if (bridge_)
        for (Volume* volume : found->second.volumes)
            bridge_->Kernel().RemoveVolume(volume->deviceName);
    plugged_.erase(found);
    return true;
}

Volume* ScenarioPc::VolumeByLetter(wchar_t letter) { return machine_.FindVolumeByLetter(letter); }

}  // namespace testbed
