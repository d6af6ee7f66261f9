#include "testbed/demo/DemoTable.h"

#include <cstdio>
#include <sstream>

namespace demo {

const char kSuccess[] = "0x00000000";
const char kWriteProtect[] = "0xC00000A2";
const char kBlocked[] = "0xC000003A";

namespace {

using testbed::scenario::DiskKind;
using testbed::scenario::StickSpec;

// Serial numbers in the scenario are ASCII; a wider character never matches.
bool SameText(const CString& stored, const std::string& text)
{
    if (stored.GetLength() != static_cast<int>(text.size()))
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (stored[static_cast<int>(i)] != static_cast<unsigned char>(text[i]))
            return false;
    }
    return true;
}

bool Matches(const Quelmar::WhitelistEntry& entry, const StickSpec& stick)
{
    if (entry.useVendorId && entry.vendorId != stick.vendorId)
        return false;
    if (entry.useProductId && entry.productId != stick.productId)
        return false;
    if (entry.useSerialNumber && !SameText(entry.serialNumber, stick.serial))
        return false;
    if (entry.useManufacturer && !SameText(entry.manufacturer, stick.manufacturer))
        return false;
    if (entry.useProduct && !SameText(entry.product, stick.product))
        return false;
    return true;
}

std::string VolumeName(const std::string& owner, size_t index)
{
    return index == 0 ? owner : owner + "#" + std::to_string(index + 1);
}

std::string Outcome(const std::string& status)
{
    if (status.empty())
        return "-";
    if (status == kSuccess)
        return "ok";
    if (status == kWriteProtect)
        return "write-protected";
    if (status == kBlocked)
        return "blocked";
    return status;
}

std::string StateName(const std::string& state)
{
    if (state == "0")
        return "full";
    if (state == "1")
        return "blocked";
    if (state == "2")
        return "read-only";
    return state.empty() ? "-" : state;
}

}  // namespace

DriverTable ParseDriverTable(const std::string& reply)
{
    DriverTable table;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, second, name, state;
        words >> first >> second;
        if (first == "ok" && second == "mode")
            words >> table.mode;
        else if (first == "volume" && second.size() == 1 && second[0] != '-' && (words >> name >> state))
            table.states[second[0]] = state;
    }
    return table;
}

std::vector<VolumeRow> ExpectedRows(const testbed::scenario::Scenario& scenario, const std::set<std::string>& plugged,
                                    const Quelmar::SettingV3& setting)
{
    std::vector<VolumeRow> rows;
    for (const auto& disk : scenario.disks) {
        const bool sd = disk.kind == DiskKind::CardReader;
        for (size_t i = 0; i < disk.letters.size(); ++i) {
            VolumeRow row;
            row.volume = VolumeName(disk.name, i);
            row.letter = disk.letters[i];
            row.bus = sd ? "SD" : "ATA";
            // Internal disks keep full access; the card reader is blocked only by its switch.
            row.expectedState = sd && setting.blockInternalSd == 1 ? "1" : "0";
            rows.push_back(row);
        }
    }
    for (const auto& stick : scenario.sticks) {
        if (plugged.count(stick.name) == 0)
            continue;
        int entry = -1;
        for (size_t e = 0; e < setting.whitelist.size() && entry < 0; ++e) {
            if (Matches(setting.whitelist[e], stick))
                entry = static_cast<int>(e);
        }
        for (size_t i = 0; i < stick.letters.size(); ++i) {
            VolumeRow row;
            row.volume = VolumeName(stick.name, i);
            row.letter = stick.letters[i];
            row.bus = "USB";
            row.entry = entry;
            if (entry >= 0)
                row.expectedState = setting.whitelist[entry].attribute == Quelmar::WhitelistReadOnly ? "2" : "0";
            else
                row.expectedState = setting.outsidePolicy == Quelmar::OutsidePolicyReadOnly ? "2" : "1";
            rows.push_back(row);
        }
    }
    return rows;
}

std::string ExpectedWrite(const std::string& state, bool control)
{
    if (!control || state == "0" || state == "none")
        return kSuccess;
    return state == "2" ? kWriteProtect : kBlocked;
}

std::string ExpectedRead(const std::string& state, bool control)
{
    return control && state == "1" ? kBlocked : kSuccess;
}

bool RowBehaved(const VolumeRow& row, bool control, std::string& why)
{
    if (row.letter == 0)
        return true;  // nothing to open without a letter
    if (control && row.driverState != row.expectedState) {
        why = row.volume + ": the driver holds " + StateName(row.driverState) + ", the whitelist requires " +
              StateName(row.expectedState);
        return false;
    }
    if (row.write != ExpectedWrite(row.expectedState, control)) {
        why = row.volume + ": write ended " + row.write + ", expected " + ExpectedWrite(row.expectedState, control);
        return false;
    }
    if (row.read != ExpectedRead(row.expectedState, control)) {
        why = row.volume + ": read ended " + row.read + ", expected " + ExpectedRead(row.expectedState, control);
        return false;
    }
    return true;
}

std::string FormatTable(const std::vector<VolumeRow>& rows, const Quelmar::SettingV3& setting)
{
    std::string text;
    char line[256];
    std::snprintf(line, sizeof(line), "    %-10s %-6s %-4s %-28s %-10s %-16s %s\n", "volume", "letter", "bus",
                  "whitelist entry", "driver", "write", "read");
    text += line;
    for (const auto& row : rows) {
        std::string entry = "none";
        if (row.entry >= 0) {
            const auto& e = setting.whitelist[row.entry];
            char described[96];
            std::snprintf(described, sizeof(described), "#%d %04X:%04X %s", row.entry + 1, e.vendorId, e.productId,
                          e.attribute == Quelmar::WhitelistReadOnly ? "read-only" : "full");
            entry = described;
        }
        const std::string letter = row.letter ? std::string(1, row.letter) + ":" : "-";
        std::snprintf(line, sizeof(line), "    %-10s %-6s %-4s %-28s %-10s %-16s %s\n", row.volume.c_str(),
                      letter.c_str(), row.bus.c_str(), entry.c_str(),
                      row.letter ? StateName(row.driverState).c_str() : "-", Outcome(row.write).c_str(),
                      Outcome(row.read).c_str());
        text += line;
    }
    return text;
}

}  // namespace demo
