// The branches for older Windows versions, exercised by the version the simulated PC reports:
// the programs load on 6.0 and later only, but the decisions for 5.x are kept and must still
// answer as they did.
#include "core/store/SettingStore.h"
#include "core/system/OSVersion.h"
#include "core/usb/UsbDeviceEnumerator.h"
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const wchar_t kExplorerPolicies[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";

// Leaves no NoCDBurning value behind, whatever the test wrote.
class NoCdBurningValue {
public:
    NoCdBurningValue() { Remove(); }
    ~NoCdBurningValue() { Remove(); }
    NoCdBurningValue(const NoCdBurningValue&) = delete;
    NoCdBurningValue& operator=(const NoCdBurningValue&) = delete;

    void Set(DWORD value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kExplorerPolicies, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"NoCDBurning", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }

private:
    static void Remove()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExplorerPolicies, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"NoCDBurning");
            RegCloseKey(key);
        }
    }
};

struct VersionCase {
    DWORD major;
    DWORD minor;
    bool laterThan5_0;
    bool fiveAfter5_0;
    bool exactly5_0;
    bool before6_3;
};

const VersionCase kVersions[] = {
    {5, 0, false, false, true, true},  {5, 1, true, true, false, true},   {5, 2, true, true, false, true},
    {6, 0, true, false, false, true},  {6, 1, true, false, false, true},  {6, 3, true, false, false, false},
};

TEST(WindowsVersions, ProbeAnswersEveryRuleByTheReportedVersion)
{
    testbed::Machine pc;
    for (const VersionCase& v : kVersions) {
        pc.SetWindowsVersion(v.major, v.minor);
        COSVersion version;
        EXPECT_EQ(version.MajorVersion(), v.major);
        EXPECT_EQ(version.MinorVersion(), v.minor);
        EXPECT_EQ(version.IsLaterThan5_0(), v.laterThan5_0) << v.major << "." << v.minor;
        EXPECT_EQ(version.Is5xAfter5_0(), v.fiveAfter5_0) << v.major << "." << v.minor;
        EXPECT_EQ(version.IsExactly5_0(), v.exactly5_0) << v.major << "." << v.minor;
        EXPECT_EQ(version.IsBefore6_3(), v.before6_3) << v.major << "." << v.minor;
    }
}

// Windows 2000 has no CD burning policy: burning counts as blocked there. Later versions read
// the policy value.
TEST(WindowsVersions, CdBurningPolicyIsReadAfterWindows2000Only)
{
    testbed::Machine pc;
    NoCdBurningValue value;
    for (const VersionCase& v : kVersions) {
        pc.SetWindowsVersion(v.major, v.minor);
        value.Set(0);
        EXPECT_EQ(Quelmar::IsCdBurningBlockedByPolicy(), v.exactly5_0 ? 1 : 0) << v.major << "." << v.minor;
        value.Set(1);
        EXPECT_EQ(Quelmar::IsCdBurningBlockedByPolicy(), 1) << v.major << "." << v.minor;
    }
}

// Before 8.1 no drive is touched to wake a stick; its strings and the serial from its instance
// id still come through, and the volume pass still gives the stick its letter.
TEST(WindowsVersions, EnumerationOnOlderVersionsNeverProbesDrives)
{
    for (const VersionCase& v : kVersions) {
        testbed::Machine pc;
        pc.SetWindowsVersion(v.major, v.minor);
        testbed::UsbDevice& stick =
            pc.AddHostController(2).RootHub().Plug(1, testbed::UsbStick(0x0781, 0x5567, L"SanDisk", L"Cruzer", L"4C530001"));
        testbed::Volume& volume = pc.AddVolume(stick.Disk(), L'E');
        stick.Sleep();
        std::vector<UsbStorageDevice> devices;
        UsbDeviceEnumerator enumerator(devices);
        enumerator.Walk();

        ASSERT_EQ(devices.size(), 1u) << v.major << "." << v.minor;
        EXPECT_EQ(enumerator.DriveLettersOn(), v.before6_3 ? FALSE : TRUE) << v.major << "." << v.minor;
        EXPECT_EQ(volume.freeSpaceProbes, v.before6_3 ? 0u : 1u) << v.major << "." << v.minor;
        EXPECT_EQ(CString(devices[0].serialNumber), CString(L"4C530001")) << v.major << "." << v.minor;
        EXPECT_TRUE(devices[0].tree.HasVolume()) << v.major << "." << v.minor;
    }
}

}  // namespace
