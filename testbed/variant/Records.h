#pragma once
//
//  What the variant's interposers record for the control pipe to report: program starts in a
//  user's session (launches) and device actions (disable, enable, property change). A recorder
//  calls RecordLaunch or RecordDeviceAction with one line of text; the lists live as long as
//  the process.
//
#include <string>
#include <vector>

namespace testbed {
namespace variant {

void RecordLaunch(std::string line);
// The access list a program set on its own service, as SDDL: Wine keeps none, so the
// variant keeps the last one for the tests to read.
void RecordServiceSecurity(std::string sddl);
std::string RecordedServiceSecurity();
void RecordDeviceAction(std::string line);
std::vector<std::string> RecordedLaunches();
std::vector<std::string> RecordedDeviceActions();

}  // namespace variant
}  // namespace testbed
