#include "testbed/variant/ControlReplies.h"

#include "testbed/variant/ControlClient.h"

#include <algorithm>
#include <sstream>

namespace testbed {
namespace variant {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ReplyLines(const std::string& request)
{
    std::vector<std::string> lines = Lines(ControlRequestOnce(request));
    if (lines.empty() || lines.front().compare(0, 2, "ok") != 0)
        return {"(" + request + " failed: " + (lines.empty() ? std::string() : lines.front()) + ")"};
    lines.erase(lines.begin());
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string RuleOf(char letter)
{
    for (const std::string& line : ReplyLines("rules")) {
        std::istringstream words(line);
        std::string kind, volumeLetter, name, state;
        if ((words >> kind >> volumeLetter >> name >> state) && kind == "volume" && volumeLetter == std::string(1, letter))
            return state;
    }
    return "?";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

bool WaitForRule(char letter, const std::string& state, DWORD timeoutMilliseconds)
{
    return WaitUntil([&] { return RuleOf(letter) == state; }, timeoutMilliseconds);
}

}  // namespace variant
}  // namespace testbed
