// The scenario text is outside input to the variant: what a good file yields, and that every
// malformed line is refused with an error that names it.
#include "testbed/scenario/Scenario.h"

#include <gtest/gtest.h>

#include <string>

namespace testbed {
namespace scenario {
namespace {

const char kHeader[] = "system-disk sys id=\"IDE\\DISK\\1\" volumes=C\ncontroller usb ports=4\n";

TEST(ScenarioParser, ReadsTheWorkstation)
{
    const ParseResult parsed = ParseScenario(
        "# comment\n"
        "windows 6.2 64-bit\r\n"
        "driver absent   # trailing comment\n"
        "time-scale 30\n"
        "system-disk system id=\"SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000\" volumes=c,-\n"
        "card-reader sd id=\"SD\\DISK&GENERIC&SD\\5&2B&0&0\" volumes=G\n"
        "controller usb\n"
        "hub inner on=usb port=4 ports=7\n"
        "stick ro on=inner port=7 vid=0411 pid=10d manufacturer=\"Buffalo Inc.\" serial=\"RO 02\" volumes=F,- "
        "unplugged\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const Scenario& s = parsed.scenario;
    EXPECT_EQ(6, s.windowsMajor);
    EXPECT_EQ(2, s.windowsMinor);
    EXPECT_TRUE(s.windows64);
    EXPECT_FALSE(s.driverPresent);
    EXPECT_EQ(30u, s.timeScale);
    ASSERT_EQ(2u, s.disks.size());
    EXPECT_EQ(DiskKind::System, s.disks[0].kind);
    EXPECT_EQ("SCSI\\DISK&VEN_ATA&PROD_SYSTEM\\4&1A&0&000000", s.disks[0].instanceId);
    EXPECT_EQ((std::vector<char>{'C', 0}), s.disks[0].letters);
    EXPECT_EQ(DiskKind::CardReader, s.disks[1].kind);
    ASSERT_EQ(2u, s.hubs.size());
    EXPECT_EQ(4, s.hubs[0].ports);
    EXPECT_EQ("usb", s.hubs[1].on);
    EXPECT_EQ(7, s.hubs[1].ports);
    const StickSpec* stick = s.FindStick("ro");
    ASSERT_NE(nullptr, stick);
    EXPECT_EQ(0x0411, stick->vendorId);
    EXPECT_EQ(0x010D, stick->productId);
    EXPECT_EQ("Buffalo Inc.", stick->manufacturer);
    EXPECT_EQ("", stick->product);
    EXPECT_EQ("RO 02", stick->serial);
    EXPECT_EQ((std::vector<char>{'F', 0}), stick->letters);
    EXPECT_FALSE(stick->plugged);
    EXPECT_EQ(nullptr, s.FindStick("inner"));
}

TEST(ScenarioParser, DefaultsApplyWhenLeftOut)
{
    const ParseResult parsed = ParseScenario(kHeader);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(6, parsed.scenario.windowsMajor);
    EXPECT_EQ(1, parsed.scenario.windowsMinor);
    EXPECT_FALSE(parsed.scenario.windows64);
    EXPECT_TRUE(parsed.scenario.driverPresent);
    EXPECT_EQ(1u, parsed.scenario.timeScale);
}

TEST(ScenarioParser, ReadsProgramsRunningInSessions)
{
    const ParseResult parsed = ParseScenario(std::string(kHeader) +
                                             "session 1 user=alice\n"
                                             "session 2\n"
                                             "process session=1 image=\"C:\\Windows\\explorer.exe\"\n"
                                             "session-programs simulated\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(1u, parsed.scenario.processes.size());
    EXPECT_EQ(1, parsed.scenario.processes[0].session);
    EXPECT_EQ("C:\\Windows\\explorer.exe", parsed.scenario.processes[0].image);
    EXPECT_TRUE(parsed.scenario.sessionProgramsSimulated);
    EXPECT_FALSE(ParseScenario(kHeader).scenario.sessionProgramsSimulated);

    // A session without a user runs no programs of a user.
    const ParseResult nobody =
        ParseScenario(std::string(kHeader) + "session 2\nprocess session=2 image=\"C:\\Windows\\explorer.exe\"\n");
    EXPECT_FALSE(nobody.ok);
    EXPECT_NE(std::string::npos, nobody.error.find("line 4: session 2 is no session with a user")) << nobody.error;
}

TEST(ScenarioParser, ReadsDiscRecorders)
{
    const ParseResult parsed = ParseScenario(std::string(kHeader) +
                                             "imapi v2 v1\n"
                                             "recorder d letter=d\n"
                                             "recorder dvd folder=\"C:\\mnt\\dvd\\\" media=recorded held\n"
                                             "recorder bare media=unreadable\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const Scenario& scenario = parsed.scenario;
    EXPECT_TRUE(scenario.discsDescribed);
    EXPECT_TRUE(scenario.imapiV1);
    EXPECT_TRUE(scenario.imapiV2);
    ASSERT_EQ(3u, scenario.recorders.size());
    EXPECT_EQ('D', scenario.recorders[0].letter);
    EXPECT_EQ(RecorderMedia::Blank, scenario.recorders[0].media);
    EXPECT_FALSE(scenario.recorders[0].heldByOtherProgram);
    const RecorderSpec* dvd = scenario.FindRecorder("dvd");
    ASSERT_NE(nullptr, dvd);
    EXPECT_EQ(0, dvd->letter);
    EXPECT_EQ("C:\\mnt\\dvd\\", dvd->folder);
    EXPECT_EQ(RecorderMedia::Recorded, dvd->media);
    EXPECT_TRUE(dvd->heldByOtherProgram);
    EXPECT_TRUE(scenario.recorders[2].folder.empty());
    EXPECT_EQ(0, scenario.recorders[2].letter);

    // Recorders without the statement: none of the platform's generations is registered.
    const ParseResult bare = ParseScenario(std::string(kHeader) + "recorder d letter=D\n");
    ASSERT_TRUE(bare.ok) << bare.error;
    EXPECT_TRUE(bare.scenario.discsDescribed);
    EXPECT_FALSE(bare.scenario.imapiV1 || bare.scenario.imapiV2);
    const ParseResult none = ParseScenario(std::string(kHeader) + "imapi none\n");
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_TRUE(none.scenario.discsDescribed);
    EXPECT_FALSE(ParseScenario(kHeader).scenario.discsDescribed);
}

TEST(ScenarioParser, RefusesMalformedLinesNamingThem)
{
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"stik a on=usb port=1 vid=1 pid=1", "unknown statement 'stik'"},
        {"vid=1", "must start with a statement"},
        {"windows 6", "version such as 6.1"},
        {"windows 11.0", "major version must be a number from 5 to 10"},
        {"windows 6.1 6.2", "the word '64-bit' only after its version, got '6.2'"},
        {"windows 64-bit 6.1", "version such as 6.1, got '64-bit'"},
        {"windows 6.1 64-bit 64-bit", "takes one version such as 6.1, then '64-bit'"},
        {"driver maybe", "'present' or 'absent'"},
        {"time-scale 0", "time-scale must be a number from 1 to 1000"},
        {"time-scale 99999", "from 1 to 1000"},
        {"stick a on=usb port=1 vid=xyz pid=1", "vid must be 1 to 4 hex digits, got 'xyz'"},
        {"stick a on=usb port=1 vid=12345 pid=1", "vid must be 1 to 4 hex digits"},
        {"stick a on=usb port=1 pid=1", "stick needs option 'vid'"},
        {"stick a on=usb port=5 vid=1 pid=1", "port 5 is beyond the 4 ports of 'usb'"},
        {"stick a on=usb port=0 vid=1 pid=1", "port must be a number from 1 to 15"},
        {"stick a on=nowhere port=1 vid=1 pid=1", "names no controller or hub above this line"},
        {"stick a on=usb port=1 vid=1 pid=1 colour=red", "stick has no option 'colour'"},
        {"stick a on=usb port=1 vid=1 pid=1 vid=2", "option 'vid' is given twice"},
        {"stick a on=usb port=1 vid=1 pid=1 sideways", "the word 'unplugged' only"},
        {"stick a on=usb port=1 vid=1 pid=1 serial=\"open", "unterminated quote"},
        {"stick a on=usb port=1 vid=1 pid=1 serial=\"x\"y", "text directly after a closing quote"},
        {"stick a on=usb port=1 vid=1 pid=1 serial=", "option 'serial' has no value"},
        {"stick a on=usb port=1 vid=1 pid=1 volumes=C", "drive letter C is given twice"},
        {"stick a on=usb port=1 vid=1 pid=1 volumes=EF", "volumes must list drive letters"},
        {"stick a on=usb port=1 vid=1 pid=1 volumes=E,", "volumes must list drive letters"},
        {"stick sys on=usb port=1 vid=1 pid=1", "the name 'sys' is used twice"},
        {"stick a.b on=usb port=1 vid=1 pid=1", "letters, digits, '_' and '-' only"},
        {"stick a on=usb port=1 vid=1 pid=1 =x", "needs a name before '='"},
        {"stick a on=usb port=1 vid=1 pid=1 serial=\"a\tb\"", "control character"},
        {"system-disk again id=\"X\" volumes=D", "system-disk is given twice"},
        {"data-disk d id=\"\" volumes=D", "id must not be empty"},
        {"data-disk d id=\"X\"", "data-disk needs option 'volumes'"},
        {"hub h on=usb port=1 ports=16", "ports must be a number from 1 to 15"},
        {"process session=1 image=\"C:\\Windows\\explorer.exe\"", "session 1 is no session with a user above"},
        {"process session=0 image=\"C:\\x.exe\"", "the session must be a number from 1 to 9"},
        {"process session=1", "process needs option 'image'"},
        {"process session=1 image=explorer.exe", "image must be a full path"},
        {"process explorer session=1 image=\"C:\\x.exe\"", "takes the options session= and image= only"},
        {"session-programs fake", "'real' or 'simulated'"},
        {"imapi", "imapi takes 'none' or the generations"},
        {"imapi v3", "got 'v3'"},
        {"imapi v1 v1", "v1 is given twice"},
        {"imapi none v2", "imapi takes 'none' or the generations"},
        {"recorder r letter=C", "drive letter C is given twice"},
        {"recorder r letter=DE", "volumes must list drive letters"},
        {"recorder r letter=-", "letter takes one drive letter"},
        {"recorder r letter=D folder=\"C:\\mnt\\\"", "a drive letter or a mount folder, not both"},
        {"recorder r folder=\"C:\\mnt\"", "ending in a backslash"},
        {"recorder r folder=\"mnt\\dvd\\\"", "below a drive's root"},
        {"recorder r media=wet", "media takes none, blank, recorded or unreadable"},
        {"recorder r busy", "the word 'held' only"},
        {"recorder sys", "the name 'sys' is used twice"},
    };
    for (const auto& c : cases) {
        const ParseResult parsed = ParseScenario(std::string(kHeader) + c.line + "\n");
        EXPECT_FALSE(parsed.ok) << c.line;
        EXPECT_EQ(3, parsed.line) << c.line;
        EXPECT_NE(std::string::npos, parsed.error.find(c.error)) << c.line << " gave: " << parsed.error;
        EXPECT_EQ(0u, parsed.error.find("line 3: ")) << parsed.error;
    }
}

TEST(ScenarioParser, ReadsPortableDevicesSessionsAndLaunchFailures)
{
    const ParseResult parsed = ParseScenario(std::string(kHeader) +
                                             "portable phone friendly=\"Galaxy S7\"\n"
                                             "portable camera disabled\n"
                                             "portable player unplugged disabled\n"
                                             "session 2 user=bob\n"
                                             "session 1 user=\"alice smith\" console\n"
                                             "session 3\n"
                                             "pipe-not-connected 3\n"
                                             "service-security-failures 2\n"
                                             "service-security-out-of-memory 3\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const Scenario& s = parsed.scenario;
    ASSERT_EQ(3u, s.portables.size());
    EXPECT_EQ("Galaxy S7", s.FindPortable("phone")->friendlyName);
    EXPECT_FALSE(s.FindPortable("phone")->disabledByUser);
    EXPECT_TRUE(s.FindPortable("phone")->plugged);
    EXPECT_EQ("camera", s.FindPortable("camera")->friendlyName);
    EXPECT_TRUE(s.FindPortable("camera")->disabledByUser);
    EXPECT_FALSE(s.FindPortable("player")->plugged);
    EXPECT_TRUE(s.FindPortable("player")->disabledByUser);
    EXPECT_EQ(nullptr, s.FindPortable("usb"));
    ASSERT_EQ(3u, s.sessions.size());
    EXPECT_EQ(2, s.sessions[0].id);
    EXPECT_EQ("bob", s.sessions[0].user);
    EXPECT_FALSE(s.sessions[0].console);
    EXPECT_EQ("alice smith", s.sessions[1].user);
    EXPECT_TRUE(s.sessions[1].console);
    EXPECT_EQ("", s.sessions[2].user);
    EXPECT_EQ(3, s.pipeNotConnectedFailures);
    EXPECT_EQ(2, s.serviceSecurityFailures);
    EXPECT_EQ(3, s.serviceSecurityOutOfMemory);

    const ParseResult plain = ParseScenario(kHeader);
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(plain.scenario.sessions.empty());
    EXPECT_EQ(0, plain.scenario.pipeNotConnectedFailures);
    EXPECT_EQ(0, plain.scenario.serviceSecurityFailures);
    EXPECT_EQ(0, plain.scenario.serviceSecurityOutOfMemory);
}

TEST(ScenarioParser, RefusesBadPortableAndSessionLines)
{
    const struct {
        const char* lines;
        const char* error;
    } cases[] = {
        {"portable", "portable takes a name"},
        {"portable usb", "the name 'usb' is used twice"},
        {"portable p broken", "'disabled' and 'unplugged' only"},
        {"portable p friendly=\"\"", "friendly must not be empty"},
        {"portable p vid=1", "portable has no option 'vid'"},
        {"session", "session takes a number"},
        {"session 0", "the session must be a number from 1 to 9"},
        {"session 10 user=a", "from 1 to 9"},
        {"session 1 active", "the word 'console' only"},
        {"session 1 console console", "'console' is given twice"},
        {"session 1 user=\"OFFICE\\alice\"", "plain account name"},
        {"session 1 user=abcdefghijklmnopqrstu", "user is longer than 20 bytes"},
        {"session 1 domain=x", "session has no option 'domain'"},
        {"pipe-not-connected 101", "from 0 to 100"},
        {"pipe-not-connected", "takes one number"},
        {"service-security-failures 101", "from 0 to 100"},
    };
    for (const auto& c : cases) {
        const ParseResult parsed = ParseScenario(std::string(kHeader) + c.lines + "\n");
        EXPECT_FALSE(parsed.ok) << c.lines;
        EXPECT_EQ(3, parsed.line) << c.lines;
        EXPECT_NE(std::string::npos, parsed.error.find(c.error)) << c.lines << " gave: " << parsed.error;
    }
    const struct {
        const char* lines;
        const char* error;
    } twice[] = {
        {"session 1\nsession 1 user=a", "session 1 is given twice"},
        {"session 1 console\nsession 2 console", "only one session can be the console"},
        {"pipe-not-connected 1\npipe-not-connected 2", "pipe-not-connected is given twice"},
    };
    for (const auto& c : twice) {
        const ParseResult parsed = ParseScenario(std::string(kHeader) + c.lines + "\n");
        EXPECT_FALSE(parsed.ok) << c.lines;
        EXPECT_EQ(4, parsed.line) << c.lines;
        EXPECT_NE(std::string::npos, parsed.error.find(c.error)) << c.lines << " gave: " << parsed.error;
    }
}

TEST(ScenarioParser, RefusesAPortTakenTwice)
{
    const ParseResult parsed =
        ParseScenario(std::string(kHeader) + "stick a on=usb port=1 vid=1 pid=1\nstick b on=usb port=1 vid=1 pid=1 unplugged\n");
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(4, parsed.line);
    EXPECT_NE(std::string::npos, parsed.error.find("port 1 of 'usb' is taken already")) << parsed.error;
}

TEST(ScenarioParser, RefusesHubsNestedBeyondTheUsbLimit)
{
    std::string text = kHeader;
    std::string parent = "usb";
    for (int depth = 1; depth <= kMaxHubDepth + 1; ++depth) {
        const std::string name = "h" + std::to_string(depth);
        text += "hub " + name + " on=" + parent + " port=1\n";
        parent = name;
    }
    const ParseResult parsed = ParseScenario(text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(3 + kMaxHubDepth, parsed.line);
    EXPECT_NE(std::string::npos, parsed.error.find("nest at most 5 deep")) << parsed.error;
}

TEST(ScenarioParser, RefusesAFileWithoutASystemDisk)
{
    const ParseResult parsed = ParseScenario("windows 6.1\ncontroller usb\n");
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(0, parsed.line);
    EXPECT_EQ("the scenario needs a system-disk", parsed.error);
}

TEST(ScenarioParser, SystemDiskNeedsALetterForWindows)
{
    const ParseResult parsed = ParseScenario("system-disk s id=\"X\" volumes=-,C\n");
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(std::string::npos, parsed.error.find("holds Windows")) << parsed.error;
}

TEST(ScenarioParser, RefusesOversizedInputWithoutReadingIt)
{
    EXPECT_FALSE(ParseScenario(std::string(kMaxScenarioBytes + 1, '#')).ok);
    const ParseResult longLine = ParseScenario(std::string(kHeader) + "#" + std::string(kMaxLineBytes, 'x') + "\n");
    EXPECT_FALSE(longLine.ok);
    EXPECT_EQ(3, longLine.line);
    const ParseResult longString = ParseScenario(std::string(kHeader) + "stick a on=usb port=1 vid=1 pid=1 serial=\"" +
                                                 std::string(127, 's') + "\"\n");
    EXPECT_FALSE(longString.ok);
    EXPECT_NE(std::string::npos, longString.error.find("serial is longer than 126 bytes")) << longString.error;
}

TEST(ScenarioParser, ErrorsShowUnprintableInputSafely)
{
    const ParseResult parsed = ParseScenario(std::string(kHeader) + "stick a on=usb port=1 vid=\"\x01\x7f\" pid=1\n");
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(std::string::npos, parsed.error.find("control character")) << parsed.error;
}

}  // namespace
}  // namespace scenario
}  // namespace testbed
