#include "testbed/variant/DiscRequest.h"

namespace testbed {
namespace variant {
namespace {

bool Fail(std::string& error, std::string message)
{
    error = std::move(message);
    return false;
}

// "0x80004005": eight hex digits at most after the prefix.
bool HexResult(const std::string& text, uint32_t& value)
{
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    uint32_t number = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return false;
        number = number * 16 + digit;
    }
    value = number;
    return true;
}

// "DE": one bit per drive letter, each at most once.
bool UnitMask(const std::string& text, uint32_t& mask)
{
    if (text.empty() || text.size() > 26)
        return false;
    mask = 0;
    for (char c : text) {
        const char letter = static_cast<char>(c & ~0x20);
        if (letter < 'A' || letter > 'Z')
            return false;
        const uint32_t bit = 1u << (letter - 'A');
        if (mask & bit)
            return false;
        mask |= bit;
    }
    return true;
}

}  // namespace

bool IsDiscRequest(const std::string& verb)
{
    return verb == "discs" || verb == "disc" || verb == "disc-master" || verb == "volume-arrival";
}

bool ParseDiscRequest(const std::vector<std::string>& words, DiscRequest& request, std::string& error)
{
    request = DiscRequest();
    const std::string& verb = words.at(0);
    if (verb == "discs") {
        if (words.size() != 1)
            return Fail(error, "discs takes nothing more");
        request.verb = DiscVerb::Report;
        return true;
    }
    if (verb == "disc-master") {
        if (words.size() != 2 || words[1] != "restart")
            return Fail(error, "disc-master takes 'restart'");
        request.verb = DiscVerb::RestartMaster;
        return true;
    }
    if (verb == "volume-arrival") {
        if (words.size() < 2 || !UnitMask(words[1], request.unitMask))
            return Fail(error, "volume-arrival takes the drive letters, each once, such as DE");
        for (size_t i = 2; i < words.size(); ++i) {
            bool& flag = words[i] == "media" ? request.mediaFlag : request.shortRecord;
            if ((words[i] != "media" && words[i] != "short") || flag)
                return Fail(error, "volume-arrival takes 'media' and 'short' after the letters, each once");
            flag = true;
        }
        request.verb = DiscVerb::VolumeArrival;
        return true;
    }
    if (words.size() < 3)
        return Fail(error, "disc takes a recorder name and media|eject-failure|hold|release");
    request.recorder = words[1];
    const std::string& step = words[2];
    if (step == "hold" || step == "release") {
        if (words.size() != 3)
            return Fail(error, "disc ... " + step + " takes nothing more");
        request.verb = step == "hold" ? DiscVerb::Hold : DiscVerb::Release;
        return true;
    }
    if (words.size() != 4)
        return Fail(error, "disc ... " + step.substr(0, 32) + " takes one word more");
    if (step == "media") {
        const struct {
            const char* name;
            DiscMediaRequest media;
        } kinds[] = {{"none", DiscMediaRequest::None},
                     {"blank", DiscMediaRequest::Blank},
                     {"recorded", DiscMediaRequest::Recorded},
                     {"unreadable", DiscMediaRequest::Unreadable}};
        for (const auto& kind : kinds) {
            if (words[3] == kind.name) {
                request.verb = DiscVerb::Media;
                request.media = kind.media;
                return true;
            }
        }
        return Fail(error, "disc ... media takes none, blank, recorded or unreadable");
    }
    if (step == "eject-failure") {
        request.verb = DiscVerb::EjectFailure;
        if (words[3] == "none")
            return true;
        if (!HexResult(words[3], request.ejectResult) || (request.ejectResult & 0x80000000u) == 0)
            return Fail(error, "disc ... eject-failure takes 'none' or a failure HRESULT such as 0x80004005");
        return true;
    }
    return Fail(error, "disc takes media, eject-failure, hold or release, got '" + step.substr(0, 32) + "'");
}

}  // namespace variant
}  // namespace testbed
