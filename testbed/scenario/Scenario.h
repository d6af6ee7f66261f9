#pragma once
//
//  A simulated PC as a scenario file describes it: the Windows version and whether it is x64,
//  whether the filter driver is installed, the time scale of the test variant, the disks with
//  their volumes, the USB tree with its sticks, the portable devices, the user sessions and the
//  disc recorders.
//  The text format is documented in README.md beside this file.
//
//  Parsing needs no Windows API, so the host build tests and fuzzes it; the Windows half
//  (ScenarioPc) builds the machine from the parsed values.
//
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testbed {
namespace scenario {

enum class DiskKind { System, Data, CardReader };

struct DiskSpec {
    DiskKind kind = DiskKind::Data;
    std::string name;
    std::string instanceId;     // UTF-8, taken as written
    std::vector<char> letters;  // one per volume, upper case; 0 for a volume without a letter
};

// A host controller (its root hub) when `on` is empty, else a hub plugged into a port of `on`.
struct HubSpec {
    std::string name;
    std::string on;
    int port = 0;
    int ports = 4;
};

struct StickSpec {
    std::string name;
    std::string on;  // a controller or hub of the scenario
    int port = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string manufacturer;  // UTF-8; empty: the device has no such string
    std::string product;
    std::string serial;
    std::vector<char> letters;
    bool plugged = true;  // false: described, but plugged only when a test asks
};

// A portable (WPD) device below the root.
struct PortableSpec {
    std::string name;
    std::string friendlyName;  // UTF-8; the name when not given
    bool disabledByUser = false;
    bool plugged = true;
};

// A user session; the user is known by name, so one name in several sessions is one user.
struct SessionSpec {
    int id = 0;
    std::string user;  // UTF-8; empty: nobody is logged on
    bool console = false;
};

// A program already running in a session, as that session's user (at medium integrity).
struct ProcessSpec {
    int session = 0;
    std::string image;  // UTF-8, a full path
};

enum class RecorderMedia { None, Blank, Recorded, Unreadable };

// A disc recorder: mounted at a drive letter, in a folder only, or nowhere.
struct RecorderSpec {
    std::string name;
    char letter = 0;     // upper case; 0 for none
    std::string folder;  // "C:\mnt\dvd\" (with the trailing backslash); empty for none
    RecorderMedia media = RecorderMedia::Blank;
    bool heldByOtherProgram = false;  // another program has the drive for its exclusive use
};

struct Scenario {
    int windowsMajor = 6;
    int windowsMinor = 1;
    // An x64 Windows: a 32-bit program runs under WOW64 and meets its limits.
    bool windows64 = false;
    bool driverPresent = true;
    unsigned timeScale = 1;  // periods of the variant run this many times faster
    std::vector<DiskSpec> disks;
    std::vector<HubSpec> hubs;  // in file order, so a hub comes after what it is plugged into
    std::vector<StickSpec> sticks;
    // The platform's disc-recording objects: which generations are registered (Wine has
    // neither), and the recorders they reach. Simulated only when the scenario says either.
    std::vector<ProcessSpec> processes;
    // Programs that the variant starts in a session run for real, or only as simulated
    // processes of the session (in its process list, with their tokens).
    bool sessionProgramsSimulated = false;
    bool discsDescribed = false;
    bool imapiV1 = false;
    bool imapiV2 = false;
    std::vector<RecorderSpec> recorders;
    std::vector<PortableSpec> portables;
    std::vector<SessionSpec> sessions;  // in file order
    // The first this many program starts in a session fail as while the session is being set up.
    int pipeNotConnectedFailures = 0;
    // The first this many times the program sets its own service's access list, it is refused.
    int serviceSecurityFailures = 0;
    // The try, counted from 1, at which setting that list runs out of memory, or 0 for none.
    int serviceSecurityOutOfMemory = 0;

    const StickSpec* FindStick(std::string_view name) const;
    const PortableSpec* FindPortable(std::string_view name) const;
    const HubSpec* FindHub(std::string_view name) const;
    const RecorderSpec* FindRecorder(std::string_view name) const;
};

struct ParseResult {
    bool ok = false;
    Scenario scenario;
    int line = 0;       // the line of the first error, 1-based; 0 for the file as a whole
    std::string error;  // "line 7: ..." ready to show
};

// Limits that keep a hostile file from making the variant build an absurd machine.
const size_t kMaxScenarioBytes = 64 * 1024;
const size_t kMaxLineBytes = 1024;
const size_t kMaxDevices = 64;  // disks, hubs and sticks each
const int kMaxPorts = 15;
const int kMaxHubDepth = 5;  // hubs below a root hub, as USB allows
const int kMaxSessionId = 9;
const size_t kMaxUserName = 20;  // as Windows allows for a local account

ParseResult ParseScenario(std::string_view text);

}  // namespace scenario
}  // namespace testbed
