// The scenario a program installed later reads: it must plug exactly the sticks the PC has
// plugged by then, or the program would see another PC than the service.
#include "testbed/demo/ScenarioText.h"
#include "testbed/scenario/Scenario.h"

#include <gtest/gtest.h>

namespace demo {
namespace {

struct Case {
    const char* name;
    std::string text;
    std::set<std::string> plugged;
    std::string expected;
};

TEST(ScenarioText, DropsUnpluggedOnlyFromTheNamedSticksLines)
{
    const Case cases[] = {
        {"named stick", "stick h on=usb port=3 volumes=H unplugged\n", {"h"}, "stick h on=usb port=3 volumes=H\n"},
        {"word in the middle", "stick h unplugged on=usb port=3\n", {"h"}, "stick h on=usb port=3\n"},
        {"other stick kept", "stick h on=usb port=3 unplugged\n", {"g"}, "stick h on=usb port=3 unplugged\n"},
        {"quoted value kept", "stick h product=\"A unplugged B\" unplugged\n", {"h"}, "stick h product=\"A unplugged B\"\n"},
        {"portable kept", "portable h unplugged\n", {"h"}, "portable h unplugged\n"},
        {"comment kept", "# stick h unplugged\n", {"h"}, "# stick h unplugged\n"},
        {"line endings kept", "windows 6.1\r\nstick h volumes=H unplugged\r\n", {"h"}, "windows 6.1\r\nstick h volumes=H\r\n"},
        {"no final newline", "stick h volumes=H unplugged", {"h"}, "stick h volumes=H"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithSticksPlugged(c.text, c.plugged), c.expected) << c.name;
}

TEST(ScenarioText, PluggedTextParsesWithTheStickPlugged)
{
    const std::string text =
        "system-disk system id=\"S\" volumes=C\n"
        "controller usb ports=4\n"
        "stick full on=usb port=1 vid=0781 pid=5567 serial=\"FULL01\" volumes=E\n"
        "stick unknown on=usb port=3 vid=090C pid=1000 serial=\"UNKNOWN03\" volumes=H unplugged\n";
    const auto parsed = testbed::scenario::ParseScenario(WithSticksPlugged(text, {"full", "unknown"}));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_NE(parsed.scenario.FindStick("unknown"), nullptr);
    EXPECT_TRUE(parsed.scenario.FindStick("unknown")->plugged);
}

}  // namespace
}  // namespace demo
