#pragma once
//
//  The end-to-end demonstration on the simulated PC: the service's test variant under Wine's
//  service control manager, sticks plugged, the setting changed, the setting tool opened on
//  the same PC and the service stopped, each step checked against what the whitelist requires.
//
#include <string>

namespace demo {

struct DemoPaths {
    std::wstring variant;     // the service's test variant
    std::wstring tool;        // the setting tool's test variant
    std::wstring scenario;    // the scenario file
    std::wstring screenshot;  // where the tool's main sheet is saved, a bitmap
};

// Runs every step, printing as it goes; true when every step behaved as the whitelist requires.
bool RunDemonstration(const DemoPaths& paths);

}  // namespace demo
