// The decision per volume on plain values: which state each volume and each device object
// beneath it gets from the volume list, the USB sticks, the whitelist and the two switches.
#include "service/decision/QuelmarDecision.h"
#include "service/tests/DecisionValues.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace servicetest {
namespace {

using Quelmar::QuelmarDecision;
using Quelmar::VolumePolicyMap;

const WCHAR kSystem[] = _T("\\Device\\HarddiskVolume1");
const WCHAR kData[] = _T("\\Device\\HarddiskVolume2");
const WCHAR kStickA[] = _T("\\Device\\HarddiskVolume5");
const WCHAR kStickB[] = _T("\\Device\\HarddiskVolume6");
const WCHAR kCard[] = _T("\\Device\\HarddiskVolume7");
const WCHAR kSecondOnA[] = _T("\\Device\\HarddiskVolume9");

struct DecisionCase {
    const char* name;
    std::vector<VolumeRecord> volumes;
    std::vector<UsbStorageDevice> devices;
    Quelmar::Whitelist whitelist;
    std::vector<VolumeRecord> systemVolumes;
    std::vector<const WCHAR*> cardReaders;
    int outsidePolicy;
    int blockInternalSd;
    std::vector<std::pair<const WCHAR*, LONG>> expected;
};

std::string Describe(const VolumePolicyMap& map)
{
    std::string text;
    for (const auto& [name, state] : map) {
        for (WCHAR ch : name.Text()) {
            text += static_cast<char>(ch < 0x80 ? ch : '?');
        }
        text += "=" + std::to_string(state) + " ";
    }
    return text;
}

VolumePolicyMap Decide(const DecisionCase& c)
{
    QuelmarDecision thread;
    Quelmar::SettingV3 setting;
    setting.whitelist = c.whitelist;
    setting.outsidePolicy = c.outsidePolicy;
    setting.blockInternalSd = c.blockInternalSd;
    thread.TakeSetting(setting);
    thread.VolumeList() = c.volumes;
    thread.UsbDeviceList() = c.devices;
    thread.SystemVolumeList() = c.systemVolumes;
    for (const WCHAR* name : c.cardReaders) {
        thread.CardReaderVolumes().insert(name);
    }
    VolumePolicyMap map;
    thread.ComputeVolumePolicy(map);
    return map;
}

std::vector<DecisionCase> Cases()
{
    const UsbStorageDevice stickA = Stick(0x1234, 0x5678, _T("A0001"));
    const UsbStorageDevice stickB = Stick(0x1234, 0x5678, _T("B0002"));
    const VolumeRecord system = InternalVolume(kSystem, 'C');
    const VolumeRecord data = InternalVolume(kData, 'D');
    const VolumeRecord onA = StickVolume(kStickA, 'E', _T("A0001"));
    const VolumeRecord onB = StickVolume(kStickB, 'F', _T("B0002"));
    const VolumeRecord card = InternalVolume(kCard, 'G');
    const WhitelistEntry fullA = Entry(0x1234, 0x5678, _T("A0001"), UseVendor | UseProduct | UseSerial, 0);
    const WhitelistEntry readOnlyA = Entry(0x1234, 0x5678, _T("A0001"), UseVendor | UseProduct | UseSerial, 2);
    const WhitelistEntry anyDeviceReadOnly = Entry(0, 0, _T(""), 0, 2);
    const WhitelistEntry otherDevice = Entry(0x9999, 0x0001, _T("Z"), UseVendor | UseProduct, 0);

    return {
        {"UnknownStickGetsBlockPolicy", {system, onA}, {stickA}, {otherDevice}, {}, {}, 1, 0,
         {{kSystem, 0}, {kStickA, 1}}},
        {"UnknownStickGetsReadOnlyPolicy", {system, onA}, {stickA}, {otherDevice}, {}, {}, 2, 0,
         {{kSystem, 0}, {kStickA, 2}}},
        {"FullEntryAllows", {onA, onB}, {stickA, stickB}, {fullA}, {}, {}, 1, 0, {{kStickA, 0}, {kStickB, 1}}},
        {"ReadOnlyEntryMakesReadOnly", {onA, onB}, {stickA, stickB}, {readOnlyA}, {}, {}, 1, 0,
         {{kStickA, 2}, {kStickB, 1}}},
        {"LaterMatchingEntryWinsReadOnly", {onA}, {stickA}, {fullA, readOnlyA}, {}, {}, 1, 0, {{kStickA, 2}}},
        {"LaterMatchingEntryWinsFull", {onA}, {stickA}, {readOnlyA, fullA}, {}, {}, 1, 0, {{kStickA, 0}}},
        {"EntryWithoutFieldsMatchesEveryStick", {system, onA, onB}, {stickA, stickB}, {anyDeviceReadOnly}, {}, {}, 1,
         0, {{kSystem, 0}, {kStickA, 2}, {kStickB, 2}}},
        {"EmptyWhitelistKeepsThePolicy", {system, onA}, {stickA}, {}, {}, {}, 2, 0, {{kSystem, 0}, {kStickA, 2}}},
        {"TwinProductIdMatchesForward", {onA}, {Stick(0x0411, 0x010D, _T("A0001"))},
         {Entry(0x0411, 0x010C, _T("A0001"), UseVendor | UseProduct | UseSerial, 0)}, {}, {}, 1, 0, {{kStickA, 0}}},
        {"TwinProductIdMatchesBackward", {onA}, {Stick(0x0411, 0x010C, _T("A0001"))},
         {Entry(0x0411, 0x010D, _T("A0001"), UseVendor | UseProduct, 2)}, {}, {}, 1, 0, {{kStickA, 2}}},
        {"NoTwinForOtherProductId", {onA}, {Stick(0x20AA, 0x001C, _T("A0001"))},
         {Entry(0x20AA, 0x001A, _T(""), UseVendor | UseProduct, 0)}, {}, {}, 1, 0, {{kStickA, 1}}},
        {"SystemDiskOnUsbAlwaysPasses", {onA, StickVolume(kStickB, 0, _T("A0001"))}, {stickA}, {otherDevice},
         {onA, StickVolume(kStickB, 0, _T("A0001"))}, {}, 1, 0, {{kStickA, 0}, {kStickB, 0}}},
        {"SystemVolumeNamesCompareWithoutCase", {onA}, {stickA}, {},
         {StickVolume(_T("\\DEVICE\\HARDDISKVOLUME5"), 'E', _T("A0001"))}, {}, 1, 0, {{kStickA, 0}}},
        {"ServiceDriveOnAStickPasses", {system, onA, onB}, {stickA, stickB}, {}, {system, onB}, {}, 2, 0,
         {{kSystem, 0}, {kStickA, 2}, {kStickB, 0}}},
        {"CardReaderBlockedWhenSdSwitchOn", {system, card}, {}, {}, {}, {kCard}, 2, 1, {{kSystem, 0}, {kCard, 1}}},
        {"CardReaderAllowedWhenSdSwitchOff", {system, card}, {}, {}, {}, {kCard}, 2, 0, {{kSystem, 0}, {kCard, 0}}},
        {"CardReaderNamesCompareWithoutCase", {card}, {}, {}, {}, {_T("\\device\\harddiskvolume7")}, 2, 1,
         {{kCard, 1}}},
        {"ChildDevicesTakeTheVolumesState",
         {StickVolume(kStickA, 'E', _T("A0001"), {_T("\\Device\\00000071"), _T("\\Device\\00000070")})}, {stickA},
         {}, {}, {}, 1, 0, {{_T("\\Device\\00000070"), 1}, {_T("\\Device\\00000071"), 1}, {kStickA, 1}}},
        {"ChildNameOfAnotherVolumeIsOverwritten",
         {InternalVolume(kData, 'D'), StickVolume(kStickA, 'E', _T("A0001"), {kData})}, {stickA}, {}, {}, {}, 1, 0,
         {{kData, 1}, {kStickA, 1}}},
        {"VolumeWithoutDeviceNameIsLeftOut", {system, Volume(_T(""), 'H', _T("X"))}, {}, {}, {}, {}, 1, 0,
         {{kSystem, 0}}},
        {"OnlyTheFirstHoldingDeviceIsLookedAt", {onA},
         {Stick(0x1111, 0x0001, _T("A0001")), Stick(0x1234, 0x5678, _T("A0001"))}, {fullA}, {}, {}, 1, 0,
         {{kStickA, 1}}},
        {"EveryVolumeOfAStickTakesItsEntry", {onA, StickVolume(kSecondOnA, 0, _T("A0001")), onB}, {stickA, stickB},
         {readOnlyA}, {}, {}, 1, 0, {{kStickA, 2}, {kStickB, 1}, {kSecondOnA, 2}}},
        {"NoVolumesGiveAnEmptyTable", {}, {stickA}, {fullA}, {system}, {kCard}, 1, 1, {}},
    };
}

TEST(VolumeDecision, EveryCaseGivesItsTable)
{
    for (const DecisionCase& c : Cases()) {
        VolumePolicyMap expected;
        for (const auto& [name, state] : c.expected) {
            expected[name] = state;
        }
        VolumePolicyMap map = Decide(c);
        EXPECT_EQ(Describe(expected), Describe(map)) << c.name;
    }
}

TEST(VolumeDecision, InternalDiskIsNotTakenByANodeWithoutId)
{
    UsbStorageDevice stick = Stick(0x1234, 0x5678, _T("A0001"));
    stick.tree.AppendChild(stick.tree.Root(), UsbDeviceNodeInfo());
    DecisionCase c{"", {InternalVolume(kSystem, 'C')}, {stick}, {}, {}, {}, 1, 0, {}};
    VolumePolicyMap map = Decide(c);
    EXPECT_EQ(0, map[kSystem]);
}

TEST(VolumeDecision, TableIsOrderedByCodeUnits)
{
    // 'Z' (0x5A) sorts before 'a' (0x61), and a name beyond Latin after both.
    DecisionCase c{"", {InternalVolume(_T("\\Device\\a"), 0), InternalVolume(_T("\\Device\\Z"), 0),
                       InternalVolume(_T("\\Device\\\x00e9"), 0)},
                   {}, {}, {}, {}, 1, 0, {}};
    VolumePolicyMap map = Decide(c);
    std::vector<CString> order;
    for (const auto& entry : map) {
        order.push_back(entry.first);
    }
    ASSERT_EQ(3u, order.size());
    EXPECT_EQ(CString(_T("\\Device\\Z")), order[0]);
    EXPECT_EQ(CString(_T("\\Device\\a")), order[1]);
    EXPECT_EQ(CString(_T("\\Device\\\x00e9")), order[2]);
}

TEST(VolumeDecision, NeverProducesAStateOfItsOwn)
{
    for (const DecisionCase& c : Cases()) {
        for (const auto& [name, state] : Decide(c)) {
            EXPECT_TRUE(state == 0 || state == 1 || state == 2) << c.name;
        }
    }
}

}  // namespace
}  // namespace servicetest
