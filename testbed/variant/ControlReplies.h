#pragma once
//
//  Reading the control pipe's replies in a test: the reply's lines, the driver's rule for a
//  letter, and a bounded poll until what the test waits for is there.
//
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testbed {
namespace variant {

// The text's non-empty lines, without their line ends.
std::vector<std::string> Lines(const std::string& text);
// The reply's lines after its first ("ok" or "ok mode 1"); one line naming the failure when the
// request did not succeed.
std::vector<std::string> ReplyLines(const std::string& request);
bool Contains(const std::vector<std::string>& lines, const std::string& line);

// The state the driver's table gives the lettered volume ("0", "1", "2", "none"), "?" without one.
std::string RuleOf(char letter);

// Polls every 50 ms until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds = 20000);
bool WaitForRule(char letter, const std::string& state, DWORD timeoutMilliseconds = 20000);

}  // namespace variant
}  // namespace testbed
