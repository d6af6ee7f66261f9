#include "testbed/variant/MachineReports.h"

#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Sessions.h"
#include "testbed/machine/ShellRecorder.h"

#include <dbt.h>

#include <cstdio>
#include <cstring>

namespace testbed {
namespace variant {
namespace {

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string ChangeName(DWORD change)
{
    switch (change) {
    case DICS_ENABLE:
        return "enable";
    case DICS_DISABLE:
        return "disable";
    case DICS_PROPCHANGE:
        return "propchange";
    case DICS_START:
        return "start";
    case DICS_STOP:
        return "stop";
    }
    return Hex(change);
}

std::string ScopeName(DWORD scope)
{
    if (scope == DICS_FLAG_GLOBAL)
        return "global";
    if (scope == DICS_FLAG_CONFIGSPECIFIC)
        return "config-specific";
    return Hex(scope);
}

}  // namespace

std::vector<std::string> LaunchLines(ScenarioPc& pc)
{
    std::vector<std::string> lines;
    for (const Launch& launch : pc.Pc().Sessions().Launches())
        lines.push_back(std::to_string(launch.sessionId) + "\t" + Narrow(launch.user) + "\t" + std::to_string(launch.error) +
                        "\t" + std::to_string(launch.processId) + "\t" +
                        (launch.hasApplicationName ? Narrow(launch.applicationName) : std::string()) + "\t" +
                        Narrow(launch.commandLine) + "\t" + Hex(launch.integrityLevel) + "\t" +
                        (launch.primaryToken ? "primary" : "impersonation"));
    return lines;
}

std::vector<std::string> ActionLines(ScenarioPc& pc)
{
    Machine& machine = pc.Pc();
    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    std::vector<std::string> lines;
    for (DeviceNode* node : machine.AllNodes())
        for (const InstallerAction& action : machine.Installer().Actions(*node))
            lines.push_back(pc.NodeLabel(*node) + " " + ChangeName(action.stateChange) + " " + ScopeName(action.scope) +
                            (action.succeeded ? " ok" : " failed"));
    return lines;
}

std::vector<std::string> PortableLines(ScenarioPc& pc)
{
    Machine& machine = pc.Pc();
    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    std::vector<std::string> lines;
    for (const scenario::PortableSpec& spec : pc.Description().portables) {
        DeviceNode* node = pc.Portable(spec.name);
        const std::wstring* key = node->FindProperty(CM_DRP_DRIVER);
        lines.push_back(spec.name + " " + (key ? Narrow(*key) : std::string("-")) +
                        (machine.Installer().Disabled(*node) ? " disabled" : " enabled") +
                        (node->Present() ? " present" : " absent"));
    }
    return lines;
}

std::vector<std::string> ShellLines(ScenarioPc& pc, DWORD processId)
{
    const std::string process = std::to_string(processId);
    std::vector<std::string> lines;
    for (const BroadcastRecord& broadcast : pc.Pc().Shell().Broadcasts()) {
        std::string line = process + " broadcast " + Hex(broadcast.message) + " " + Hex(static_cast<uint32_t>(broadcast.wParam));
        DEV_BROADCAST_VOLUME volume = {};
        if (broadcast.record.size() >= sizeof volume) {
            std::memcpy(&volume, broadcast.record.data(), sizeof volume);
            if (volume.dbcv_devicetype == DBT_DEVTYP_VOLUME)
                line += " volume " + Hex(volume.dbcv_unitmask);
        }
        lines.push_back(line);
    }
    for (const ShellNotification& notification : pc.Pc().Shell().Notifications())
        lines.push_back(process + " notify " + Hex(static_cast<uint32_t>(notification.eventId)) + " " +
                        Hex(notification.flags) + " " + Narrow(notification.path1));
    return lines;
}

}  // namespace variant
}  // namespace testbed
