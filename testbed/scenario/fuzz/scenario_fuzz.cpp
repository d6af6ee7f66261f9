// Any bytes as a scenario file: the parser answers ok or an error naming a line, never more.
#include "testbed/scenario/Scenario.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const testbed::scenario::ParseResult parsed =
        testbed::scenario::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size));
    // A refusal always says why; an accepted file has a system disk and stays within the limits.
    if (!parsed.ok) {
        if (parsed.error.empty())
            abort();
        return 0;
    }
    if (!parsed.error.empty() || parsed.scenario.disks.empty() ||
        parsed.scenario.sticks.size() > testbed::scenario::kMaxDevices)
        abort();
    return 0;
}
