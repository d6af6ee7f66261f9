//
//  The scenario text: one statement per line, words separated by blanks, `key=value` options,
//  values in double quotes taken literally, `#` to the end of the line a comment.
//
#include "testbed/scenario/Scenario.h"

#include <map>
#include <set>

namespace testbed {
namespace scenario {
namespace {

// The first error ends the parse; the line it names is where the reader should look.
struct ScenarioError {
    std::string message;
};

[[noreturn]] void Fail(std::string message) { throw ScenarioError{std::move(message)}; }

std::string Printable(std::string_view text)
{
    std::string shown;
    for (char c : text.substr(0, 40)) {
        const unsigned char u = static_cast<unsigned char>(c);
        shown += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    if (text.size() > 40)
        shown += "...";
    return "'" + shown + "'";
}

struct Token {
    std::string key;    // empty for a bare word
    std::string value;  // the word itself, or the option's value
};

std::vector<Token> Tokenize(std::string_view line)
{
    std::vector<Token> tokens;
    size_t at = 0;
    while (at < line.size()) {
        const char c = line[at];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++at;
            continue;
        }
        if (c == '#')
            break;
        Token token;
        std::string word;
        bool quoted = false;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r' && line[at] != '#') {
            const char d = line[at];
            if (d == '=' && token.key.empty() && !quoted) {
                if (word.empty())
                    Fail("an option needs a name before '='");
                token.key = word;
                word.clear();
                ++at;
                continue;
            }
            if (d == '"') {
                if (!word.empty() || quoted)
                    Fail("a quote may only open a value");
                const size_t close = line.find('"', at + 1);
                if (close == std::string_view::npos)
                    Fail("unterminated quote");
                word = std::string(line.substr(at + 1, close - at - 1));
                for (char q : word)
                    if (static_cast<unsigned char>(q) < 0x20 || q == 0x7F)
                        Fail("control character in the line");
                quoted = true;
                at = close + 1;
                if (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r' && line[at] != '#')
                    Fail("text directly after a closing quote");
                break;
            }
            const unsigned char u = static_cast<unsigned char>(d);
            if (u < 0x20 || u == 0x7F)
                Fail("control character in the line");
            word += d;
            ++at;
        }
        if (!token.key.empty() || quoted || !word.empty()) {
            if (!token.key.empty() && word.empty() && !quoted)
                Fail("option '" + token.key + "' has no value");
            token.value = word;
            tokens.push_back(std::move(token));
        }
    }
    return tokens;
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

void CheckName(const std::string& name)
{
    if (name.empty() || name.size() > 32)
        Fail("a name must have 1 to 32 characters, got " + Printable(name));
    for (char c : name)
        if (!IsNameCharacter(c))
            Fail("a name may hold letters, digits, '_' and '-' only, got " + Printable(name));
}

int Number(const std::string& what, const std::string& text, int low, int high)
{
    if (text.empty() || text.size() > 4)
        Fail(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ", got " +
             Printable(text));
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            Fail(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ", got " +
                 Printable(text));
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high)
        Fail(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ", got " +
             Printable(text));
    return value;
}

uint16_t HexWord(const std::string& what, const std::string& text)
{
    if (text.empty() || text.size() > 4)
        Fail(what + " must be 1 to 4 hex digits, got " + Printable(text));
    unsigned value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            Fail(what + " must be 1 to 4 hex digits, got " + Printable(text));
        value = value * 16 + digit;
    }
    return static_cast<uint16_t>(value);
}

std::string Text(const std::string& what, const std::string& text, size_t limit)
{
    if (text.size() > limit)
        Fail(what + " is longer than " + std::to_string(limit) + " bytes");
    return text;
}

// "C,D,-": one volume per item, '-' for a volume without a drive letter.
std::vector<char> Letters(const std::string& text, std::set<char>& used)
{
    std::vector<char> letters;
    size_t at = 0;
    while (true) {
        const size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (item == "-") {
            letters.push_back(0);
        } else if (item.size() == 1 && ((item[0] >= 'A' && item[0] <= 'Z') || (item[0] >= 'a' && item[0] <= 'z'))) {
            const char letter = static_cast<char>(item[0] & ~0x20);
            if (!used.insert(letter).second)
                Fail(std::string("drive letter ") + letter + " is given twice");
            letters.push_back(letter);
        } else {
            Fail("volumes must list drive letters or '-', separated by commas, got " + Printable(text));
        }
        if (letters.size() > 8)
            Fail("at most 8 volumes on one disk");
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    return letters;
}

class Statement {
public:
    Statement(std::vector<Token> tokens) : tokens_(std::move(tokens))
    {
        for (size_t i = 1; i < tokens_.size(); ++i) {
            if (tokens_[i].key.empty())
                continue;
            if (!options_.emplace(tokens_[i].key, tokens_[i].value).second)
                Fail("option '" + tokens_[i].key + "' is given twice");
        }
    }

    const std::string& Keyword() const { return tokens_[0].value; }

    // The bare words after the keyword.
    std::vector<std::string> Words() const
    {
        std::vector<std::string> words;
        for (size_t i = 1; i < tokens_.size(); ++i)
            if (tokens_[i].key.empty())
                words.push_back(tokens_[i].value);
        return words;
    }

    bool Has(const std::string& key) const { return options_.count(key) != 0; }

    std::string Take(const std::string& key)
    {
        auto found = options_.find(key);
        if (found == options_.end())
            Fail(Keyword() + " needs option '" + key + "'");
        std::string value = found->second;
        options_.erase(found);
        return value;
    }

    std::string TakeOr(const std::string& key, const std::string& fallback) { return Has(key) ? Take(key) : fallback; }

    // Every option must have been used: a misspelt one is an error, not a silent default.
    void Finish() const
    {
        if (!options_.empty())
            Fail(Keyword() + " has no option '" + options_.begin()->first + "'");
    }

private:
    std::vector<Token> tokens_;
    std::map<std::string, std::string> options_;
};

class Parser {
public:
    void Line(std::string_view line)
    {
        std::vector<Token> tokens = Tokenize(line);
        if (tokens.empty())
            return;
        if (!tokens[0].key.empty())
            Fail("a line must start with a statement, not an option");
        Statement statement(std::move(tokens));
        const std::string& keyword = statement.Keyword();
        if (keyword == "windows")
            Windows(statement);
        else if (keyword == "driver")
            Driver(statement);
        else if (keyword == "time-scale")
            TimeScale(statement);
        else if (keyword == "system-disk")
            Disk(statement, DiskKind::System);
        else if (keyword == "data-disk")
            Disk(statement, DiskKind::Data);
        else if (keyword == "card-reader")
            Disk(statement, DiskKind::CardReader);
        else if (keyword == "controller")
            Hub(statement, true);
        else if (keyword == "hub")
            Hub(statement, false);
        else if (keyword == "stick")
            Stick(statement);
        else if (keyword == "process")
            Process(statement);
        else if (keyword == "session-programs")
            SessionPrograms(statement);
        else if (keyword == "imapi")
            Imapi(statement);
        else if (keyword == "recorder")
            Recorder(statement);
        else if (keyword == "portable")
            Portable(statement);
        else if (keyword == "session")
            Session(statement);
        else if (keyword == "pipe-not-connected")
            PipeNotConnected(statement);
        else if (keyword == "service-security-failures")
            ServiceSecurityFailures(statement);
        else if (keyword == "service-security-out-of-memory")
            ServiceSecurityOutOfMemory(statement);
        else
            Fail("unknown statement " + Printable(keyword));
    }

    void End()
    {
        bool system = false;
        for (const DiskSpec& disk : result_.disks)
            system = system || disk.kind == DiskKind::System;
        if (!system)
            Fail("the scenario needs a system-disk");
    }

    Scenario& Result() { return result_; }

private:
    std::vector<std::string> OneWord(Statement& statement, const char* what)
    {
        std::vector<std::string> words = statement.Words();
        if (words.size() != 1)
            Fail(statement.Keyword() + " takes one " + what);
        return words;
    }

    void Once(const std::string& keyword)
    {
        if (!seen_.insert(keyword).second)
            Fail(keyword + " is given twice");
    }

    void NewName(const std::string& name)
    {
        CheckName(name);
        if (!names_.insert(name).second)
            Fail("the name '" + name + "' is used twice");
    }

    void Windows(Statement& statement)
    {
        Once("windows");
        const std::vector<std::string> words = statement.Words();
        if (words.empty() || words.size() > 2)
            Fail("windows takes one version such as 6.1, then '64-bit' for an x64 Windows");
        const std::string& version = words[0];
        const size_t dot = version.find('.');
        if (dot == std::string::npos)
            Fail("windows takes a version such as 6.1, got " + Printable(version));
        result_.windowsMajor = Number("the major version", version.substr(0, dot), 5, 10);
        result_.windowsMinor = Number("the minor version", version.substr(dot + 1), 0, 3);
        if (words.size() == 2) {
            if (words[1] != "64-bit")
                Fail("windows takes the word '64-bit' only after its version, got " + Printable(words[1]));
            result_.windows64 = true;
        }
        statement.Finish();
    }

    void Driver(Statement& statement)
    {
        Once("driver");
        const std::string state = OneWord(statement, "of 'present' or 'absent'")[0];
        if (state != "present" && state != "absent")
            Fail("driver takes 'present' or 'absent', got " + Printable(state));
        result_.driverPresent = state == "present";
        statement.Finish();
    }

    void TimeScale(Statement& statement)
    {
        Once("time-scale");
        result_.timeScale = static_cast<unsigned>(Number("time-scale", OneWord(statement, "number")[0], 1, 1000));
        statement.Finish();
    }

    void Disk(Statement& statement, DiskKind kind)
    {
        if (kind == DiskKind::System)
            Once("system-disk");
        if (result_.disks.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " disks");
        DiskSpec disk;
        disk.kind = kind;
        disk.name = OneWord(statement, "name")[0];
        NewName(disk.name);
        disk.instanceId = Text("id", statement.Take("id"), 200);
        if (disk.instanceId.empty())
            Fail("id must not be empty");
        disk.letters = Letters(statement.Take("volumes"), letters_);
        if (kind == DiskKind::System && disk.letters.front() == 0)
            Fail("the first volume of the system disk holds Windows and needs a drive letter");
        statement.Finish();
        result_.disks.push_back(std::move(disk));
    }

    // The controller or hub named by on= and port=, with the port checked and taken.
    int Parent(Statement& statement, std::string& on, int& depth)
    {
        on = statement.Take("on");
        const HubSpec* parent = result_.FindHub(on);
        if (!parent)
            Fail("on=" + Printable(on) + " names no controller or hub above this line");
        const int port = Number("port", statement.Take("port"), 1, kMaxPorts);
        if (port > parent->ports)
            Fail("port " + std::to_string(port) + " is beyond the " + std::to_string(parent->ports) + " ports of '" +
                 on + "'");
        if (!ports_.insert(on + "#" + std::to_string(port)).second)
            Fail("port " + std::to_string(port) + " of '" + on + "' is taken already");
        depth = depths_[on];
        return port;
    }

    void Hub(Statement& statement, bool controller)
    {
        if (result_.hubs.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " controllers and hubs");
        HubSpec hub;
        hub.name = OneWord(statement, "name")[0];
        NewName(hub.name);
        int depth = 0;
        if (!controller) {
            hub.port = Parent(statement, hub.on, depth);
            if (depth + 1 > kMaxHubDepth)
                Fail("hubs nest at most " + std::to_string(kMaxHubDepth) + " deep");
        }
        hub.ports = Number("ports", statement.TakeOr("ports", "4"), 1, kMaxPorts);
        statement.Finish();
        depths_[hub.name] = controller ? 0 : depth + 1;
        result_.hubs.push_back(std::move(hub));
    }

    void Stick(Statement& statement)
    {
        if (result_.sticks.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " sticks");
        StickSpec stick;
        std::vector<std::string> words = statement.Words();
        if (words.empty())
            Fail("stick takes a name");
        stick.name = words[0];
        NewName(stick.name);
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "unplugged")
                stick.plugged = false;
            else
                Fail("stick takes the word 'unplugged' only, got " + Printable(words[i]));
        }
        int depth = 0;
        stick.port = Parent(statement, stick.on, depth);
        stick.vendorId = HexWord("vid", statement.Take("vid"));
        stick.productId = HexWord("pid", statement.Take("pid"));
        // A string descriptor holds at most 126 UTF-16 units.
        stick.manufacturer = Text("manufacturer", statement.TakeOr("manufacturer", ""), 126);
        stick.product = Text("product", statement.TakeOr("product", ""), 126);
        stick.serial = Text("serial", statement.TakeOr("serial", ""), 126);
        if (statement.Has("volumes"))
            stick.letters = Letters(statement.Take("volumes"), letters_);
        statement.Finish();
        result_.sticks.push_back(std::move(stick));
    }

    void Process(Statement& statement)
    {
        if (result_.processes.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " processes");
        if (!statement.Words().empty())
            Fail("process takes the options session= and image= only");
        ProcessSpec process;
        process.image = Text("image", statement.Take("image"), 200);
        if (process.image.size() < 4 || process.image[1] != ':' || process.image[2] != '\\')
            Fail("image must be a full path such as \"C:\\Windows\\explorer.exe\", got " + Printable(process.image));
        const std::string id = statement.Take("session");
        process.session = Number("the session", id, 1, kMaxSessionId);
        const SessionSpec* session = nullptr;
        for (const SessionSpec& known : result_.sessions)
            if (known.id == process.session)
                session = &known;
        if (!session || session->user.empty())
            Fail("session " + id + " is no session with a user above this line");
        statement.Finish();
        result_.processes.push_back(std::move(process));
    }

    void SessionPrograms(Statement& statement)
    {
        Once("session-programs");
        const std::string how = OneWord(statement, "of 'real' or 'simulated'")[0];
        if (how != "real" && how != "simulated")
            Fail("session-programs takes 'real' or 'simulated', got " + Printable(how));
        result_.sessionProgramsSimulated = how == "simulated";
        statement.Finish();
    }

    void Imapi(Statement& statement)
    {
        Once("imapi");
        const std::vector<std::string> words = statement.Words();
        if (words.empty())
            Fail("imapi takes 'none' or the generations 'v1' and 'v2'");
        for (const std::string& word : words) {
            bool& registered = word == "v1" ? result_.imapiV1 : result_.imapiV2;
            if ((word != "v1" && word != "v2" && word != "none") || (word == "none" && words.size() != 1))
                Fail("imapi takes 'none' or the generations 'v1' and 'v2', got " + Printable(word));
            if (word == "none")
                break;
            if (registered)
                Fail(word + " is given twice");
            registered = true;
        }
        result_.discsDescribed = true;
        statement.Finish();
    }

    void Recorder(Statement& statement)
    {
        if (result_.recorders.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " recorders");
        RecorderSpec recorder;
        std::vector<std::string> words = statement.Words();
        if (words.empty())
            Fail("recorder takes a name");
        recorder.name = words[0];
        NewName(recorder.name);
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "held")
                recorder.heldByOtherProgram = true;
            else
                Fail("recorder takes the word 'held' only, got " + Printable(words[i]));
        }
        if (statement.Has("letter") && statement.Has("folder"))
            Fail("a recorder has a drive letter or a mount folder, not both");
        if (statement.Has("letter")) {
            const std::vector<char> letters = Letters(statement.Take("letter"), letters_);
            if (letters.size() != 1 || letters[0] == 0)
                Fail("letter takes one drive letter");
            recorder.letter = letters[0];
        }
        if (statement.Has("folder")) {
            recorder.folder = Text("folder", statement.Take("folder"), 200);
            const std::string& folder = recorder.folder;
            if (folder.size() < 4 || folder[1] != ':' || folder[2] != '\\' || folder.back() != '\\' ||
                !((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')))
                Fail("folder must be a folder below a drive's root, ending in a backslash, got " + Printable(folder));
        }
        const std::string media = statement.TakeOr("media", "blank");
        const struct {
            const char* name;
            RecorderMedia media;
        } kinds[] = {{"none", RecorderMedia::None},
                     {"blank", RecorderMedia::Blank},
                     {"recorded", RecorderMedia::Recorded},
                     {"unreadable", RecorderMedia::Unreadable}};
        bool known = false;
        for (const auto& kind : kinds) {
            if (media == kind.name) {
                recorder.media = kind.media;
                known = true;
            }
        }
        if (!known)
            Fail("media takes none, blank, recorded or unreadable, got " + Printable(media));
        statement.Finish();
        result_.discsDescribed = true;
        result_.recorders.push_back(std::move(recorder));
    }

    void Portable(Statement& statement)
    {
        if (result_.portables.size() >= kMaxDevices)
            Fail("more than " + std::to_string(kMaxDevices) + " portable devices");
        PortableSpec portable;
        std::vector<std::string> words = statement.Words();
        if (words.empty())
            Fail("portable takes a name");
        portable.name = words[0];
        NewName(portable.name);
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "unplugged")
                portable.plugged = false;
            else if (words[i] == "disabled")
                portable.disabledByUser = true;
            else
                Fail("portable takes the words 'disabled' and 'unplugged' only, got " + Printable(words[i]));
        }
        portable.friendlyName = Text("friendly", statement.TakeOr("friendly", portable.name), 126);
        if (portable.friendlyName.empty())
            Fail("friendly must not be empty");
        statement.Finish();
        result_.portables.push_back(std::move(portable));
    }

    void Session(Statement& statement)
    {
        SessionSpec session;
        std::vector<std::string> words = statement.Words();
        if (words.empty())
            Fail("session takes a number");
        session.id = Number("the session", words[0], 1, kMaxSessionId);
        for (const SessionSpec& other : result_.sessions)
            if (other.id == session.id)
                Fail("session " + words[0] + " is given twice");
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i] != "console")
                Fail("session takes the word 'console' only, got " + Printable(words[i]));
            if (session.console)
                Fail("'console' is given twice");
            session.console = true;
        }
        if (session.console && !seen_.insert("console").second)
            Fail("only one session can be the console");
        if (statement.Has("user")) {
            session.user = Text("user", statement.Take("user"), kMaxUserName);
            if (session.user.empty())
                Fail("user must not be empty");
            for (char c : session.user)
                if (c == '\\' || c == '/' || c == '@')
                    Fail("user is a plain account name, got " + Printable(session.user));
        }
        statement.Finish();
        result_.sessions.push_back(std::move(session));
    }

    void PipeNotConnected(Statement& statement)
    {
        Once("pipe-not-connected");
        result_.pipeNotConnectedFailures = Number("pipe-not-connected", OneWord(statement, "number")[0], 0, 100);
        statement.Finish();
    }

    void ServiceSecurityFailures(Statement& statement)
    {
        Once("service-security-failures");
        result_.serviceSecurityFailures = Number("service-security-failures", OneWord(statement, "number")[0], 0, 100);
        statement.Finish();
    }

    void ServiceSecurityOutOfMemory(Statement& statement)
    {
        Once("service-security-out-of-memory");
        result_.serviceSecurityOutOfMemory =
            Number("service-security-out-of-memory", OneWord(statement, "number")[0], 1, 100);
        statement.Finish();
    }

    Scenario result_;
    std::set<std::string> seen_;
    std::set<std::string> names_;
    std::set<std::string> ports_;
    std::set<char> letters_;
    std::map<std::string, int> depths_;
};

}  // namespace

const StickSpec* Scenario::FindStick(std::string_view name) const
{
    for (const StickSpec& stick : sticks)
        if (stick.name == name)
            return &stick;
    return nullptr;
}

const PortableSpec* Scenario::FindPortable(std::string_view name) const
{
    for (const PortableSpec& portable : portables)
        if (portable.name == name)
            return &portable;
    return nullptr;
}

const HubSpec* Scenario::FindHub(std::string_view name) const
{
    for (const HubSpec& hub : hubs)
        if (hub.name == name)
            return &hub;
    return nullptr;
}

const RecorderSpec* Scenario::FindRecorder(std::string_view name) const
{
    for (const RecorderSpec& recorder : recorders)
        if (recorder.name == name)
            return &recorder;
    return nullptr;
}

ParseResult ParseScenario(std::string_view text)
{
    ParseResult result;
    if (text.size() > kMaxScenarioBytes) {
        result.error = "the scenario is larger than " + std::to_string(kMaxScenarioBytes) + " bytes";
        return result;
    }
    Parser parser;
    int number = 0;
    size_t at = 0;
    try {
        while (at < text.size()) {
            ++number;
            const size_t end = text.find('\n', at);
            const std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
            at = end == std::string_view::npos ? text.size() : end + 1;
            if (line.size() > kMaxLineBytes)
                Fail("the line is longer than " + std::to_string(kMaxLineBytes) + " bytes");
            parser.Line(line);
        }
        number = 0;
        parser.End();
    } catch (const ScenarioError& error) {
        result.line = number;
        result.error = number ? "line " + std::to_string(number) + ": " + error.message : error.message;
        return result;
    }
    result.ok = true;
    result.scenario = std::move(parser.Result());
    return result;
}

}  // namespace scenario
}  // namespace testbed
