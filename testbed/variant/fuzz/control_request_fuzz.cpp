// Any bytes as a control-pipe request: refused with a reason, or read into a request whose
// names and letter are those the variant can act on safely.
#include "testbed/variant/ControlRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    testbed::variant::ControlRequest request;
    std::string error;
    if (!testbed::variant::ParseControlRequest(std::string_view(reinterpret_cast<const char*>(data), size), request, error)) {
        if (error.empty())
            abort();
        return 0;
    }
    if (request.verb == testbed::variant::ControlVerb::File) {
        if (request.letter < 'A' || request.letter > 'Z' || request.path.empty() ||
            request.path.find('\\') != std::string::npos)
            abort();
    }
    return 0;
}
