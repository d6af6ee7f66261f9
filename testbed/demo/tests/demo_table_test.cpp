// What the demonstration expects of each volume, and how it reads the driver's table: a fault
// here would let the demonstration pass a service that ignores the whitelist.
#include "testbed/demo/DemoTable.h"

#include <gtest/gtest.h>

namespace demo {
namespace {

const char kWorkstation[] =
    "system-disk system id=\"S\" volumes=C,-\n"
    "data-disk data id=\"D\" volumes=D\n"
    "card-reader sd id=\"SD\" volumes=G\n"
    "controller usb ports=4\n"
    "stick full on=usb port=1 vid=0781 pid=5567 serial=\"FULL01\" volumes=E\n"
    "stick readonly on=usb port=2 vid=0411 pid=010D serial=\"RO02\" volumes=F\n"
    "stick unknown on=usb port=3 vid=0781 pid=5567 serial=\"OTHER\" volumes=H unplugged\n";

Quelmar::WhitelistEntry Entry(WORD vid, WORD pid, const WCHAR* serial, int attribute)
{
    Quelmar::WhitelistEntry entry;
    entry.vendorId = vid;
    entry.productId = pid;
    entry.serialNumber = serial;
    entry.useVendorId = entry.useProductId = entry.useSerialNumber = 1;
    entry.attribute = attribute;
    return entry;
}

Quelmar::SettingV3 Setting()
{
    Quelmar::SettingV3 setting;
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockInternalSd = 0;
    setting.whitelist = {Entry(0x0781, 0x5567, L"FULL01", 0), Entry(0x0411, 0x010D, L"RO02", 2)};
    return setting;
}

std::vector<VolumeRow> Rows(const Quelmar::SettingV3& setting, std::set<std::string> plugged = {"full", "readonly", "unknown"})
{
    const auto parsed = testbed::scenario::ParseScenario(kWorkstation);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    return ExpectedRows(parsed.scenario, plugged, setting);
}

TEST(DemoTable, RowsFollowTheWhitelistBySerialNotJustByIds)
{
    const auto rows = Rows(Setting());
    ASSERT_EQ(7u, rows.size());
    const struct {
        const char* volume;
        char letter;
        const char* bus;
        int entry;
        const char* state;
    } expected[] = {{"system", 'C', "ATA", -1, "0"}, {"system#2", 0, "ATA", -1, "0"},
                    {"data", 'D', "ATA", -1, "0"},   {"sd", 'G', "SD", -1, "0"},
                    {"full", 'E', "USB", 0, "0"},       {"readonly", 'F', "USB", 1, "2"},
                    {"unknown", 'H', "USB", -1, "1"}};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(expected[i].volume, rows[i].volume);
        EXPECT_EQ(expected[i].letter, rows[i].letter);
        EXPECT_EQ(expected[i].bus, rows[i].bus);
        EXPECT_EQ(expected[i].entry, rows[i].entry) << rows[i].volume;
        EXPECT_EQ(expected[i].state, rows[i].expectedState) << rows[i].volume;
    }
}

TEST(DemoTable, UnpluggedSticksHaveNoRowAndSwitchesChangeTheExpectation)
{
    EXPECT_EQ(6u, Rows(Setting(), {"full", "readonly"}).size());
    Quelmar::SettingV3 setting = Setting();
    setting.outsidePolicy = Quelmar::OutsidePolicyReadOnly;
    setting.blockInternalSd = 1;
    const auto rows = Rows(setting);
    EXPECT_EQ("1", rows[3].expectedState);  // the card reader
    EXPECT_EQ("2", rows[6].expectedState);  // the unknown stick
}

TEST(DemoTable, OutcomesPerStateWithControlOnAndOff)
{
    const struct {
        const char* state;
        bool control;
        const char* write;
        const char* read;
    } cases[] = {{"0", true, kSuccess, kSuccess},      {"none", true, kSuccess, kSuccess},
                 {"2", true, kWriteProtect, kSuccess}, {"1", true, kBlocked, kBlocked},
                 {"1", false, kSuccess, kSuccess},     {"2", false, kSuccess, kSuccess}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.write, ExpectedWrite(c.state, c.control)) << c.state << c.control;
        EXPECT_EQ(c.read, ExpectedRead(c.state, c.control)) << c.state << c.control;
    }
}

TEST(DemoTable, RowThatDiffersFromTheWhitelistIsReported)
{
    VolumeRow row;
    row.volume = "readonly";
    row.letter = 'F';
    row.expectedState = "2";
    row.driverState = "2";
    row.write = kWriteProtect;
    row.read = kSuccess;
    std::string why;
    EXPECT_TRUE(RowBehaved(row, true, why)) << why;
    row.write = kSuccess;  // a write that got through a read-only stick
    EXPECT_FALSE(RowBehaved(row, true, why));
    EXPECT_NE(std::string::npos, why.find("write")) << why;
    row.write = kWriteProtect;
    row.driverState = "0";
    EXPECT_FALSE(RowBehaved(row, true, why));
    // With control off the driver's leftover states do not matter, but every write must pass.
    row.write = kSuccess;
    EXPECT_TRUE(RowBehaved(row, false, why)) << why;
}

TEST(DemoTable, DriverTableTakesLetteredVolumesAndSkipsTheRest)
{
    const DriverTable table = ParseDriverTable(
        "ok mode 1\nvolume C \\Device\\HarddiskVolume1 none\nvolume - \\Device\\HarddiskVolume2 none\n"
        "volume E \\Device\\HarddiskVolume5 0\nvolume F \\Device\\HarddiskVolume6 2\nrule \\Device\\Old 1\nvolume X\n");
    EXPECT_EQ(1, table.mode);
    EXPECT_EQ((std::map<char, std::string>{{'C', "none"}, {'E', "0"}, {'F', "2"}}), table.states);
    EXPECT_EQ(-1, ParseDriverTable("error no service").mode);
}

}  // namespace
}  // namespace demo
