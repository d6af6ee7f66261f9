#pragma once
//
//  The end-to-end demonstration on the simulated PC: the service's test variant under Wine's
//  service control manager, sticks plugged, the setting changed and the service stopped, each
//  step checked against what the whitelist requires.
//
#include <string>

namespace demo {

struct DemoPaths {
    std::wstring variant;     // the service's test variant
    std::wstring scenario;    // the scenario file
};

// Runs every step, printing as it goes; true when every step behaved as the whitelist requires.
bool RunDemonstration(const DemoPaths& paths);

}  // namespace demo
