#pragma once
//
//  What the variant's interposers record for the control pipe to report beyond the simulated
//  PC's own records; it lives as long as the process.
//
#include <string>
#include <vector>

namespace testbed {
namespace variant {

// The access list a program set on its own service, as SDDL: Wine keeps none, so the
// variant keeps the last one for the tests to read.
void RecordServiceSecurity(std::string sddl);
std::string RecordedServiceSecurity();

}  // namespace variant
}  // namespace testbed
