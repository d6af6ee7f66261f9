// What a client may send on the testbed control pipe: every request the tests use is read as
// meant, and anything else is refused with its reason before it reaches the simulated PC.
#include "testbed/variant/ControlRequest.h"

#include <gtest/gtest.h>

#include <string>

namespace testbed {
namespace variant {
namespace {

TEST(ControlRequest, ReadsEveryKindOfRequest)
{
    ControlRequest request;
    std::string error;
    ASSERT_TRUE(ParseControlRequest("  plug   unknown ", request, error)) << error;
    EXPECT_EQ(ControlVerb::Plug, request.verb);
    EXPECT_EQ("unknown", request.stick);
    EXPECT_FALSE(request.quiet);
    ASSERT_TRUE(ParseControlRequest("plug unknown quiet", request, error)) << error;
    EXPECT_TRUE(request.quiet);

    ASSERT_TRUE(ParseControlRequest("file 4294967295 f write note.txt hello", request, error)) << error;
    EXPECT_EQ(ControlVerb::File, request.verb);
    EXPECT_EQ(4294967295u, request.processId);
    EXPECT_EQ('F', request.letter);
    EXPECT_EQ(FileVerb::Write, request.file);
    EXPECT_EQ("note.txt", request.path);
    EXPECT_EQ("hello", request.argument);

    ASSERT_TRUE(ParseControlRequest("file 12 E rename a.txt b.txt", request, error)) << error;
    EXPECT_EQ(FileVerb::Rename, request.file);
    EXPECT_EQ("b.txt", request.argument);

    const struct {
        const char* line;
        ControlVerb verb;
    } plain[] = {{"ping", ControlVerb::Ping},
                 {"rules", ControlVerb::Rules},
                 {"launches", ControlVerb::Launches},
                 {"actions", ControlVerb::Actions},
                 {"devices", ControlVerb::Devices},
                 {"service-security", ControlVerb::ServiceSecurity},
                 {"unplug full", ControlVerb::Unplug},
                 {"file 1 C read x", ControlVerb::File},
                 {"file 1 C create x", ControlVerb::File}};
    for (const auto& p : plain) {
        EXPECT_TRUE(ParseControlRequest(p.line, request, error)) << p.line << ": " << error;
        EXPECT_EQ(p.verb, request.verb) << p.line;
    }
}

TEST(ControlRequest, ReadsDiscRequests)
{
    ControlRequest request;
    std::string error;
    ASSERT_TRUE(ParseControlRequest("disc dvd media recorded", request, error)) << error;
    EXPECT_EQ(ControlVerb::Disc, request.verb);
    EXPECT_EQ(DiscVerb::Media, request.disc.verb);
    EXPECT_EQ("dvd", request.disc.recorder);
    EXPECT_EQ(DiscMediaRequest::Recorded, request.disc.media);

    ASSERT_TRUE(ParseControlRequest("disc d eject-failure 0x80004005", request, error)) << error;
    EXPECT_EQ(DiscVerb::EjectFailure, request.disc.verb);
    EXPECT_EQ(0x80004005u, request.disc.ejectResult);
    ASSERT_TRUE(ParseControlRequest("disc d eject-failure none", request, error)) << error;
    EXPECT_EQ(0u, request.disc.ejectResult);

    ASSERT_TRUE(ParseControlRequest("volume-arrival eD media short", request, error)) << error;
    EXPECT_EQ(DiscVerb::VolumeArrival, request.disc.verb);
    EXPECT_EQ((1u << 3) | (1u << 4), request.disc.unitMask);
    EXPECT_TRUE(request.disc.mediaFlag);
    EXPECT_TRUE(request.disc.shortRecord);
    ASSERT_TRUE(ParseControlRequest("volume-arrival Z", request, error)) << error;
    EXPECT_EQ(1u << 25, request.disc.unitMask);
    EXPECT_FALSE(request.disc.mediaFlag || request.disc.shortRecord);

    const struct {
        const char* line;
        DiscVerb verb;
    } plain[] = {{"discs", DiscVerb::Report},
                 {"disc d hold", DiscVerb::Hold},
                 {"disc d release", DiscVerb::Release},
                 {"disc-master restart", DiscVerb::RestartMaster}};
    for (const auto& p : plain) {
        EXPECT_TRUE(ParseControlRequest(p.line, request, error)) << p.line << ": " << error;
        EXPECT_EQ(ControlVerb::Disc, request.verb) << p.line;
        EXPECT_EQ(p.verb, request.disc.verb) << p.line;
    }
}

TEST(ControlRequest, RefusesMalformedRequestsWithTheReason)
{
    const struct {
        std::string line;
        const char* error;
    } cases[] = {
        {"", "empty request"},
        {"   ", "empty request"},
        {"format c:", "unknown request 'format'"},
        {"ping now", "ping takes nothing more"},
        {"plug", "plug takes one device name"},
        {"plug a b", "plug takes one device name and perhaps 'quiet'"},
        {"unplug a quiet", "unplug takes one device name"},
        {"rules\nping", "one line of text"},
        {std::string("ping\0", 5), "one line of text"},
        {"file 1 E create", "file takes PID LETTER"},
        {"file -1 E create a", "32-bit decimal number"},
        {"file 4294967296 E create a", "32-bit decimal number"},
        {"file 12345678901 E create a", "32-bit decimal number"},
        {"file 1 EF create a", "one drive letter"},
        {"file 1 3 create a", "one drive letter"},
        {"file 1 E delete a", "create, write, read or rename"},
        {"file 1 E write a", "takes a path and one more word"},
        {"file 1 E read a b", "takes one path"},
        {"file 1 E create ..\\a", "plain file name"},
        {"file 1 E create a/b", "plain file name"},
        {"file 1 E create con:", "plain file name"},
        {"file 1 E rename a b\\c", "new name must be a plain file name"},
        {"file 1 E create " + std::string(201, 'a'), "plain file name"},
        {std::string(kMaxControlRequest + 1, 'p'), "request longer than 1024 bytes"},
        {"discs all", "discs takes nothing more"},
        {"disc-master stop", "disc-master takes 'restart'"},
        {"disc d", "disc takes a recorder name"},
        {"disc d media", "takes one word more"},
        {"disc d media wet", "media takes none, blank"},
        {"disc d hold tight", "hold takes nothing more"},
        {"disc d spin up", "disc takes media, eject-failure, hold or release"},
        {"disc d eject-failure 0x00000001", "a failure HRESULT"},
        {"disc d eject-failure 0x800040051", "a failure HRESULT"},
        {"disc d eject-failure 80004005", "a failure HRESULT"},
        {"volume-arrival", "volume-arrival takes the drive letters"},
        {"volume-arrival DD media", "each once"},
        {"volume-arrival D1", "volume-arrival takes the drive letters"},
        {"volume-arrival D media media", "'media' and 'short'"},
        {"volume-arrival D loud", "'media' and 'short'"},
    };
    for (const auto& c : cases) {
        ControlRequest request;
        std::string error;
        EXPECT_FALSE(ParseControlRequest(c.line, request, error)) << c.line;
        EXPECT_NE(std::string::npos, error.find(c.error)) << c.line << " gave: " << error;
    }
}

}  // namespace
}  // namespace variant
}  // namespace testbed
