#include "testbed/demo/ScenarioText.h"

#include <vector>

namespace demo {
namespace {

struct Word {
    size_t begin;
    size_t end;
};

// The words of a line outside quotes, where a quoted value belongs to the word it is part of.
std::vector<Word> Words(const std::string& line)
{
    std::vector<Word> words;
    bool quoted = false;
    size_t begin = std::string::npos;
    for (size_t i = 0; i <= line.size(); ++i) {
        const bool blank = i == line.size() || (!quoted && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'));
        if (i < line.size() && line[i] == '"')
            quoted = !quoted;
        if (blank && begin != std::string::npos) {
            words.push_back({begin, i});
            begin = std::string::npos;
        } else if (!blank && begin == std::string::npos) {
            begin = i;
        }
    }
    return words;
}

std::string PluggedLine(const std::string& line, const std::set<std::string>& plugged)
{
    const std::vector<Word> words = Words(line);
    auto text = [&](const Word& word) { return line.substr(word.begin, word.end - word.begin); };
    if (words.size() < 2 || text(words[0]) != "stick" || plugged.count(text(words[1])) == 0)
        return line;
    std::string result = line;
    // From the end, so that the earlier positions stay valid; the blank before the word goes too.
    for (size_t i = words.size(); i-- > 2;) {
        if (text(words[i]) == "unplugged")
            result.erase(words[i - 1].end, words[i].end - words[i - 1].end);
    }
    return result;
}

}  // namespace

std::string WithSticksPlugged(const std::string& text, const std::set<std::string>& plugged)
{
    std::string result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool last = end == std::string::npos;
        if (last)
            end = text.size();
        result += PluggedLine(text.substr(start, end - start), plugged);
        if (!last)
            result += '\n';
        start = end + 1;
    }
    return result;
}

}  // namespace demo
