// The portable-device list and its stored record on the simulated PC: which devices a pass
// disables and records, how the record is rewritten, and how a start restores what a service
// that ended left disabled.
#include "service/devices/DeviceInstaller.h"
#include "service/devices/PortableDeviceList.h"
#include "service/devices/PortableDeviceRecord.h"
#include "testbed/machine/ClassInstaller.h"
#include "testbed/machine/Machine.h"

#include "classlib/ScopedRegKey.h"

#include <gtest/gtest.h>

#include <cfgmgr32.h>

#include <map>
#include <string>
#include <vector>

namespace servicetest {
namespace {

using namespace Quelmar;

const WCHAR kTestKey[] = L"SOFTWARE\\QEVRIN-tests\\WPD";

struct RegistryValue {
    DWORD type;
    std::vector<BYTE> data;
};

// The values under the test key, by name; empty when the key is absent.
std::map<std::wstring, RegistryValue> StoredValues()
{
    std::map<std::wstring, RegistryValue> values;
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        WCHAR name[512];
        DWORD nameLength = 512;
        BYTE data[4096];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        // The system stores the terminator that follows a text in memory even when the size
        // leaves it out; the product's record is the text either way.
        if (type == REG_SZ && size >= 2 && data[size - 1] == 0 && data[size - 2] == 0)
            size -= 2;
        values[std::wstring(name, nameLength)] = RegistryValue{type, std::vector<BYTE>(data, data + size)};
    }
    return values;
}

bool KeyExists()
{
    ScopedRegKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::vector<BYTE> TextBytes(const std::wstring& text)
{
    auto* bytes = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(bytes, bytes + text.size() * sizeof(wchar_t));
}

void StoreValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data)
{
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, data.data(), DWORD(data.size())), ERROR_SUCCESS);
}

std::wstring DriverKey(testbed::DeviceNode& node)
{
    return *node.FindProperty(CM_DRP_DRIVER);
}

// A phone and a camera, both portable devices, and the record key cleared around each test.
class PortableDevices : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestKey); }
    void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestKey); }

    testbed::Machine pc;
    testbed::DeviceNode& phone = testbed::AddPortableDevice(pc, L"Galaxy S7");
    testbed::DeviceNode& camera = testbed::AddPortableDevice(pc, L"EOS 80D");
    testbed::ClassInstaller& installer = pc.Installer();
};

bool SameAction(const testbed::InstallerAction& action, DWORD stateChange, DWORD scope)
{
    return action.stateChange == stateChange && action.scope == scope && action.profile == 0 && action.succeeded;
}

TEST_F(PortableDevices, DisablesAndRecordsOnlyDevicesTheUserLeftEnabled)
{
    installer.DisableByUser(phone);
    {
        PortableDeviceList list;
        BOOL disableFailed = TRUE, newDevice = FALSE, newlyRecorded = FALSE;
        list.DisableAll(disableFailed, newDevice, newlyRecorded);
        EXPECT_FALSE(disableFailed);
        EXPECT_TRUE(newDevice);
        EXPECT_TRUE(newlyRecorded);
        EXPECT_TRUE(phone.problem == CM_PROB_DISABLED && camera.problem == CM_PROB_DISABLED);
        EXPECT_TRUE(installer.Actions(phone).empty());
        ASSERT_EQ(installer.Actions(camera).size(), 1u);
        EXPECT_TRUE(SameAction(installer.Actions(camera)[0], DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC));
        ASSERT_EQ(list.RecordedDriverKeys().size(), 1u);
        EXPECT_EQ(std::wstring(list.RecordedDriverKeys()[0].GetString()), DriverKey(camera));

        RecordDevices(list, kTestKey);
        auto values = StoredValues();
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(values[L"0"].type, DWORD(REG_SZ));
        // The driver key's characters without a terminator.
        EXPECT_EQ(values[L"0"].data, TextBytes(DriverKey(camera)));

        // A second pass finds nothing new to disable or record.
        list.DisableAll(disableFailed, newDevice, newlyRecorded);
        EXPECT_FALSE(newDevice || newlyRecorded || disableFailed);
        EXPECT_EQ(installer.Actions(camera).size(), 1u);
    }
    // The list's end enables what it disabled, and only that.
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_TRUE(SameAction(installer.Actions(camera).back(), DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC));
    EXPECT_TRUE(installer.Disabled(phone));
    EXPECT_TRUE(installer.Actions(phone).empty());
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST_F(PortableDevices, DeviceThatRefusesIsReportedAndTakenByTheNextPass)
{
    installer.FailNext(camera);
    PortableDeviceList list;
    BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_TRUE(disableFailed);
    EXPECT_FALSE(installer.Disabled(camera));
    ASSERT_EQ(list.RecordedDriverKeys().size(), 1u);
    EXPECT_EQ(std::wstring(list.RecordedDriverKeys()[0].GetString()), DriverKey(phone));

    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_FALSE(disableFailed);
    EXPECT_TRUE(newlyRecorded);
    EXPECT_FALSE(newDevice);
    EXPECT_TRUE(installer.Disabled(camera));
    EXPECT_EQ(list.RecordedDriverKeys().size(), 2u);
}

TEST_F(PortableDevices, NewNameCountsOnlyInTheFirstPassThatSeesIt)
{
    PortableDeviceList list;
    BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_TRUE(newDevice);
    EXPECT_EQ(list.NewNames().size(), 2u);
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_FALSE(newDevice);
    EXPECT_TRUE(list.NewNames().empty());

    testbed::DeviceNode& player = testbed::AddPortableDevice(pc, L"Walkman");
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_TRUE(newDevice);
    ASSERT_EQ(list.NewNames().size(), 1u);
    EXPECT_EQ(list.NewNames()[0], CString(L"Walkman"));
    EXPECT_TRUE(installer.Disabled(player));
    EXPECT_EQ(list.KnownNames().size(), 3u);
}

TEST_F(PortableDevices, DeviceWithoutReadableDriverKeyIsStillEnabledAtTheEnd)
{
    camera.RemoveProperty(CM_DRP_DRIVER);
    {
        PortableDeviceList list;
        BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
        list.DisableAll(disableFailed, newDevice, newlyRecorded);
        EXPECT_TRUE(installer.Disabled(camera));
        ASSERT_EQ(list.RecordedDriverKeys().size(), 1u);
        EXPECT_EQ(list.UnrecordedDevices().size(), 1u);
    }
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_FALSE(installer.Disabled(phone));
}

TEST_F(PortableDevices, RecordIsRewrittenInPlaceAndDeletedOnlyWhenEmpty)
{
    StoreValue(L"0", REG_SZ, TextBytes(L"old-0"));
    StoreValue(L"1", REG_SZ, TextBytes(L"old-1"));
    StoreValue(L"2", REG_SZ, TextBytes(L"old-2"));
    StoreValue(L"stray", REG_DWORD, {1, 0, 0, 0});

    PortableDeviceList list;
    list.SetRecordedDriverKeys({CString(L"{eec5ad98-8080-425f-922a-dabf3de3f69a}\\0007")});
    RecordDevices(list, kTestKey);
    auto values = StoredValues();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[L"0"].data, TextBytes(L"{eec5ad98-8080-425f-922a-dabf3de3f69a}\\0007"));

    list.SetRecordedDriverKeys({});
    RecordDevices(list, kTestKey);
    EXPECT_FALSE(KeyExists());
}

TEST_F(PortableDevices, FailedEnableKeepsTheDeviceInTheRecord)
{
    {
        PortableDeviceList list;
        BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
        list.DisableAll(disableFailed, newDevice, newlyRecorded);
        RecordDevices(list, kTestKey);
        // The service ends without enabling them (a crash): the list forgets its record.
        list.SetRecordedDriverKeys({});
    }
    ASSERT_EQ(StoredValues().size(), 2u);

    installer.FailNext(phone, 1, ERROR_ACCESS_DENIED);
    RestoreDevices(kTestKey);
    EXPECT_TRUE(installer.Disabled(phone));
    EXPECT_FALSE(installer.Disabled(camera));
    auto values = StoredValues();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[L"0"].data, TextBytes(DriverKey(phone)));

    RestoreDevices(kTestKey);
    EXPECT_FALSE(installer.Disabled(phone));
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST_F(PortableDevices, RestoreEnablesTheConfigurationOfDevicesNotConnected)
{
    {
        PortableDeviceList list;
        BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
        list.DisableAll(disableFailed, newDevice, newlyRecorded);
        RecordDevices(list, kTestKey);
        list.SetRecordedDriverKeys({});
    }
    pc.RemoveNode(camera);
    RestoreDevices(kTestKey);
    ASSERT_FALSE(installer.Actions(camera).empty());
    const testbed::InstallerAction& last = installer.Actions(camera).back();
    EXPECT_TRUE(SameAction(last, DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC));
    EXPECT_FALSE(last.present);
    EXPECT_FALSE(KeyExists());

    installer.Reconnect(camera);
    EXPECT_TRUE(camera.Present());
    EXPECT_EQ(camera.problem, 0u);
}

TEST_F(PortableDevices, NotConnectedDeviceKeepsTheDisableFlagItLeftWith)
{
    PortableDeviceList list;
    BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    pc.RemoveNode(phone);
    ULONG status = 0, problem = 0;
    EXPECT_NE(CM_Get_DevNode_Status(&status, &problem, phone.Handle(), 0), CR_SUCCESS);
    installer.Reconnect(phone);
    ASSERT_EQ(CM_Get_DevNode_Status(&status, &problem, phone.Handle(), 0), CR_SUCCESS);
    EXPECT_TRUE(status & DN_HAS_PROBLEM);
    EXPECT_EQ(problem, ULONG(CM_PROB_DISABLED));
}

TEST_F(PortableDevices, RestoreReadsLongValuesAndPassesOverOthers)
{
    std::wstring longKey = L"{eec5ad98-8080-425f-922a-dabf3de3f69a}\\" + std::wstring(200, L'7');
    phone.SetProperty(CM_DRP_DRIVER, longKey);
    installer.DisableByUser(phone);
    installer.DisableByUser(camera);
    // A name and a text longer than the first buffers, a number, an empty text, a duplicate,
    // one text with its terminator, and one far too large to be a driver key.
    StoreValue(std::wstring(300, L'n'), REG_SZ, TextBytes(longKey));
    StoreValue(L"1", REG_DWORD, {1, 0, 0, 0});
    StoreValue(L"2", REG_SZ, {});
    StoreValue(L"3", REG_SZ, TextBytes(longKey));
    std::vector<BYTE> terminated = TextBytes(DriverKey(camera));
    terminated.push_back(0);
    terminated.push_back(0);
    StoreValue(L"4", REG_SZ, terminated);
    StoreValue(L"5", REG_SZ, std::vector<BYTE>(100000, 'x'));

    std::vector<CString> keys;
    ASSERT_TRUE(ReadRecordedDevices(kTestKey, keys));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(std::wstring(keys[0].GetString()), longKey);
    EXPECT_EQ(std::wstring(keys[1].GetString()), DriverKey(camera));

    RestoreDevices(kTestKey);
    EXPECT_FALSE(installer.Disabled(phone));
    EXPECT_FALSE(installer.Disabled(camera));
    EXPECT_FALSE(KeyExists());
}

TEST_F(PortableDevices, RestoreWithoutKeyTouchesNothing)
{
    RestoreDevices(kTestKey);
    EXPECT_EQ(installer.ActionCount(), 0u);
    std::vector<CString> keys;
    EXPECT_FALSE(ReadRecordedDevices(kTestKey, keys));
}

// 64-bit Windows runs the class installer for native programs only. The x64 service locks the
// portable devices and restarts a volume there; the x86 service is refused every call, so its
// portable devices stay usable, nothing is recorded, and each pass reports a failure.
TEST_F(PortableDevices, OnX64WindowsOnlyTheX64BuildChangesDevices)
{
    pc.windows64 = true;
    const bool x64 = sizeof(void*) == 8;
    PortableDeviceList list;
    BOOL disableFailed = FALSE, newDevice = FALSE, newlyRecorded = FALSE;
    list.DisableAll(disableFailed, newDevice, newlyRecorded);
    EXPECT_EQ(!x64, bool(disableFailed));
    EXPECT_EQ(x64, bool(newlyRecorded));
    EXPECT_EQ(x64, installer.Disabled(phone));
    EXPECT_EQ(x64, installer.Disabled(camera));
    EXPECT_EQ(x64 ? 2u : 0u, list.RecordedDriverKeys().size());
    ASSERT_EQ(1u, installer.Actions(phone).size());
    EXPECT_EQ(x64, installer.Actions(phone)[0].succeeded);

    BOOL rebootNeeded = FALSE;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(x64, bool(DeviceInstaller::ChangeState(phone.Handle(), DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded)));
    if (!x64) {
        EXPECT_EQ(DWORD(ERROR_IN_WOW64), GetLastError());
    }
}

TEST(DeviceInstaller, RestartsTheNodeForEveryProfileAndReportsARestart)
{
    testbed::Machine pc;
    testbed::DeviceNode& disk = pc.AddNode(pc.Root(), L"USBSTOR\\DISK&VEN_X&PROD_Y\\1&0");
    testbed::DeviceNode& volume = pc.AddNode(disk, L"STORAGE\\VOLUME\\_??_USBSTOR#DISK&VEN_X&PROD_Y#1&0");
    pc.Installer().RequireRestart(volume);

    BOOL rebootNeeded = FALSE;
    ASSERT_TRUE(DeviceInstaller::ChangeState(volume.Handle(), DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded));
    EXPECT_TRUE(rebootNeeded);
    ASSERT_EQ(pc.Installer().Actions(volume).size(), 1u);
    EXPECT_TRUE(SameAction(pc.Installer().Actions(volume)[0], DICS_PROPCHANGE, DICS_FLAG_GLOBAL));
    EXPECT_TRUE(pc.Installer().Actions(disk).empty());

    rebootNeeded = FALSE;
    ASSERT_TRUE(DeviceInstaller::ChangeState(disk.Handle(), DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded));
    EXPECT_FALSE(rebootNeeded);

    pc.Installer().FailNext(disk);
    EXPECT_FALSE(DeviceInstaller::ChangeState(disk.Handle(), DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded));
    pc.RemoveNode(disk);
    EXPECT_FALSE(DeviceInstaller::ChangeState(volume.Handle(), DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded));
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace servicetest
