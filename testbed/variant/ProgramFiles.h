#pragma once
//
//  What every test variant reads and writes beside its own program file: the scenario (or the
//  one the environment names), the log, and the reports for the tests.
//
#include "testbed/scenario/Scenario.h"

#include <windows.h>

#include <string>

namespace testbed {
namespace variant {

// The program's own path without ".exe", asked of the system itself: the simulated PC may
// answer for the program's path.
std::wstring ProgramStem();
std::wstring Environment(const wchar_t* name);
// Appends (or, with truncate, replaces); other processes may append to the same file at the
// same time, each text lands whole.
void AppendFile(const std::wstring& path, const std::string& text, bool truncate);

// The scenario named by QEVRIN_TESTBED_SCENARIO, else `<stem>.scenario`, with the time scale
// that QEVRIN_TESTBED_TIME_SCALE may override. False with the reason, ready for the log.
bool LoadScenario(const std::wstring& stem, scenario::Scenario& loaded, std::wstring& path, std::string& error);

}  // namespace variant
}  // namespace testbed
