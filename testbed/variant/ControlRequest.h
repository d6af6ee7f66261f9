#pragma once
//
//  The requests of the testbed control pipe, one text line each (see the scenario README):
//  parsed here without any Windows API, so the host build tests and fuzzes what a client may
//  send to the variant.
//
#include "testbed/variant/DiscRequest.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace testbed {
namespace variant {

const char kControlPipeName[] = "\\\\.\\pipe\\QEVRIN-testbed-control";
// A request is one short line; anything longer is refused unread.
const size_t kMaxControlRequest = 1024;

enum class ControlVerb { Ping, Plug, Unplug, File, Rules, Launches, Actions, Devices, ServiceSecurity, Disc };
enum class FileVerb { Create, Write, Read, Rename };

struct ControlRequest {
    ControlVerb verb = ControlVerb::Ping;
    std::string stick;     // plug, unplug: a stick or a portable device
    bool quiet = false;    // plug: leave the volumes unmounted, so the driver signals nothing
    uint32_t processId = 0;
    char letter = 0;       // upper case
    FileVerb file = FileVerb::Create;
    std::string path;      // UTF-8
    std::string argument;  // the text to write, or the new name
    DiscRequest disc;
};

// False with the reason when the line is no request.
bool ParseControlRequest(std::string_view line, ControlRequest& request, std::string& error);

}  // namespace variant
}  // namespace testbed
