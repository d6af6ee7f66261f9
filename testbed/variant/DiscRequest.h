#pragma once
//
//  The control-pipe requests that reach the simulated disc recorders (see the scenario
//  README): media changes, injected ejection failures, another program's hold, a restart of
//  the first generation's server, the device-change broadcast of a media arrival, and the
//  report of what the program did to the drives. Parsed without any Windows API.
//
#include <cstdint>
#include <string>
#include <vector>

namespace testbed {
namespace variant {

enum class DiscVerb { Report, Media, EjectFailure, Hold, Release, RestartMaster, VolumeArrival };
enum class DiscMediaRequest { None, Blank, Recorded, Unreadable };

struct DiscRequest {
    DiscVerb verb = DiscVerb::Report;
    std::string recorder;  // the scenario's name
    DiscMediaRequest media = DiscMediaRequest::None;
    uint32_t ejectResult = 0;  // an HRESULT; 0 ends the injected failure
    uint32_t unitMask = 0;     // bit 0 is A:
    bool mediaFlag = false;    // the record says the arrival is media in a drive
    bool shortRecord = false;  // the record's size says it is only a header
};

// True when the first word is a disc request's; its parse then decides.
bool IsDiscRequest(const std::string& verb);
// False with the reason when the words are no disc request.
bool ParseDiscRequest(const std::vector<std::string>& words, DiscRequest& request, std::string& error);

}  // namespace variant
}  // namespace testbed
