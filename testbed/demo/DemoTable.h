#pragma once
//
//  The demonstration's table: every volume of the simulated PC, the whitelist entry that should
//  rule it, the state the driver should hold and the outcomes an ordinary process should see,
//  next to what the driver and the file system actually did.
//
#include "core/model/Setting.h"
#include "testbed/scenario/Scenario.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace demo {

// The status codes an ordinary process sees.
extern const char kSuccess[];      // 0x00000000
extern const char kWriteProtect[]; // read-only volume
extern const char kBlocked[];      // blocked volume

struct VolumeRow {
    std::string volume;        // disk or stick name, "#2" for its second volume
    char letter = 0;           // 0: no letter
    std::string bus;           // "ATA", "SD" or "USB"
    int entry = -1;            // index of the matching whitelist entry, -1 for none
    std::string expectedState; // "0" full, "1" blocked, "2" read-only, "none" for no rule
    std::string driverState;   // as the driver reports it
    std::string write;         // status of the write, empty until tried
    std::string read;
};

// The driver's table as the variant's `rules` reply gives it.
struct DriverTable {
    int mode = -1;
    std::map<char, std::string> states;
};
DriverTable ParseDriverTable(const std::string& reply);

// One row per volume of the disks and of the plugged sticks, with what the setting requires.
std::vector<VolumeRow> ExpectedRows(const testbed::scenario::Scenario& scenario, const std::set<std::string>& plugged,
                                    const Quelmar::SettingV3& setting);

// The status a write and a read should end with on a volume in this state when control is on
// or off.
std::string ExpectedWrite(const std::string& state, bool control);
std::string ExpectedRead(const std::string& state, bool control);

// True when the driver state (while control is on) and both outcomes are what the row expects;
// otherwise `why` says what differed.
bool RowBehaved(const VolumeRow& row, bool control, std::string& why);

// The table as printed, one line per volume under a heading line.
std::string FormatTable(const std::vector<VolumeRow>& rows, const Quelmar::SettingV3& setting);

}  // namespace demo
