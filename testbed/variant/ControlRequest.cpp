#include "testbed/variant/ControlRequest.h"

#include <vector>

namespace testbed {
namespace variant {
namespace {

std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        const size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            ++at;
        if (at > start)
            words.emplace_back(line.substr(start, at - start));
    }
    return words;
}

bool Fail(std::string& error, std::string message)
{
    error = std::move(message);
    return false;
}

// File names on the simulated volumes: printable, no path separators beyond the volume's
// root, no device-name tricks.
bool GoodFileName(const std::string& name)
{
    if (name.empty() || name.size() > 200 || name == "." || name == "..")
        return false;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            return false;
    }
    return true;
}

bool ProcessId(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

bool ParseControlRequest(std::string_view line, ControlRequest& request, std::string& error)
{
    if (line.size() > kMaxControlRequest)
        return Fail(error, "request longer than " + std::to_string(kMaxControlRequest) + " bytes");
    for (char c : line)
        if (c == '\0' || c == '\n' || c == '\r')
            return Fail(error, "a request is one line of text");
    const std::vector<std::string> words = Words(line);
    if (words.empty())
        return Fail(error, "empty request");
    request = ControlRequest();
    const std::string& verb = words[0];
    const struct {
        const char* name;
        ControlVerb verb;
        size_t words;
    } plain[] = {{"ping", ControlVerb::Ping, 1},         {"rules", ControlVerb::Rules, 1},
                 {"launches", ControlVerb::Launches, 1}, {"actions", ControlVerb::Actions, 1},
                 {"devices", ControlVerb::Devices, 1},
                 {"service-security", ControlVerb::ServiceSecurity, 1},
                 {"unplug", ControlVerb::Unplug, 2}};
    if (IsDiscRequest(verb)) {
        request.verb = ControlVerb::Disc;
        return ParseDiscRequest(words, request.disc, error);
    }
    if (verb == "plug") {
        if (words.size() == 3 && words[2] == "quiet")
            request.quiet = true;
        else if (words.size() != 2)
            return Fail(error, "plug takes one device name and perhaps 'quiet'");
        request.verb = ControlVerb::Plug;
        request.stick = words[1];
        return true;
    }
    for (const auto& p : plain) {
        if (verb != p.name)
            continue;
        if (words.size() != p.words)
            return Fail(error, verb + (p.words == 1 ? " takes nothing more" : " takes one device name"));
        request.verb = p.verb;
        if (p.words == 2)
            request.stick = words[1];
        return true;
    }
    if (verb != "file")
        return Fail(error, "unknown request '" + verb.substr(0, 32) + "'");
    if (words.size() < 5)
        return Fail(error, "file takes PID LETTER create|write|read|rename PATH [TEXT|NEWNAME]");
    request.verb = ControlVerb::File;
    if (!ProcessId(words[1], request.processId))
        return Fail(error, "the process id must be a 32-bit decimal number");
    const std::string& letter = words[2];
    if (letter.size() != 1 || !((letter[0] >= 'A' && letter[0] <= 'Z') || (letter[0] >= 'a' && letter[0] <= 'z')))
        return Fail(error, "the volume must be one drive letter");
    request.letter = static_cast<char>(letter[0] & ~0x20);
    const struct {
        const char* name;
        FileVerb verb;
        size_t words;
    } steps[] = {{"create", FileVerb::Create, 5},
                 {"write", FileVerb::Write, 6},
                 {"read", FileVerb::Read, 5},
                 {"rename", FileVerb::Rename, 6}};
    for (const auto& step : steps) {
        if (words[3] != step.name)
            continue;
        if (words.size() != step.words)
            return Fail(error, std::string("file ... ") + step.name + (step.words == 5 ? " takes one path" : " takes a path and one more word"));
        request.file = step.verb;
        request.path = words[4];
        if (!GoodFileName(request.path))
            return Fail(error, "the path must be a plain file name in the volume's root");
        if (step.words == 6) {
            request.argument = words[5];
            if (step.verb == FileVerb::Rename && !GoodFileName(request.argument))
                return Fail(error, "the new name must be a plain file name");
        }
        return true;
    }
    return Fail(error, "the file step must be create, write, read or rename");
}

}  // namespace variant
}  // namespace testbed
