// 64-bit Windows as it is, under Wine's service control manager: the x64 service (the build to
// install there) locks portable devices and restarts the volumes whose state changed, which the
// class installer refuses the x86 service; and it reads the setting and password data that the
// x86 setting tool stores, while the x86 tool reads what the x64 side stores and the CD/DVD
// policy that the service sets. The x86 tool's core comes from the win32 tree (built before
// this one by scripts/test); without it, or where 32-bit programs cannot run, that case is
// skipped and says why.
#include "core/tests/product_key_support.h"
#include "core/tests/stick_entry.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/system/SystemPolicy.h"
#include "testbed/variant/ControlClient.h"
#include "testbed/variant/ControlReplies.h"
#include "testbed/variant/drive/ScmSession.h"
#include "testbed/variant/drive/ServicePipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace scmtest {
namespace {

using testbed::variant::ControlRequestOnce;
using testbed::variant::Contains;
using testbed::variant::Lines;
using testbed::variant::ReplyLines;
using testbed::variant::RuleOf;
using testbed::variant::WaitForRule;
using testbed::variant::WaitUntil;

const wchar_t kRecordKey[] = L"SYSTEM\\CurrentControlSet\\Services\\QEVRINs\\WPD";
const wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer";
const DWORD kLogoffOfSessionOne = 205;

// The workstation on an x64 Windows 8 with alice at the console and a phone; the programs the
// service starts in her session are simulated, so that only the service's own build runs.
std::string Scenario()
{
    std::string scenario = ReadText(WindowsPath(QEVRIN_DEFAULT_SCENARIO));
    scenario.replace(scenario.find("windows 6.1"), 11, "windows 6.2 64-bit");
    return scenario + "session 1 user=alice console\nsession-programs simulated\nportable phone\n";
}

// As the x64 tool stores them: a password, the E: stick with full access or read-only, the F:
// stick read-only, portable devices blocked or not.
bool StoreAsX64Tool(bool fullStickReadOnly, bool blockPortable)
{
    Quelmar::PasswordData password;
    password.passwordSet = 1;
    password.passwordDigest.assign(16, 0x33);
    password.unlockMode = 1;
    Quelmar::SettingV3 setting;
    Quelmar::SettingStore::SetDefaultSettings(setting);
    setting.outsidePolicy = Quelmar::OutsidePolicyBlock;
    setting.blockPortableDevices = blockPortable ? 1 : 0;
    setting.blockCdWriting = 0;
    setting.whitelist = {StickEntry(0x0781, 0x5567, L"FULL01", fullStickReadOnly ? 2 : 0),
                         StickEntry(0x0411, 0x010D, L"RO02", 2)};
    const FileKeySource keys(StoreConstants::kFileKeyMaterial);
    return Quelmar::SettingStore::SavePasswordData(password) && Quelmar::SettingStore::SaveSettingFile(keys, setting);
}

// Explorer's CD burning policy as it was before the suite, put back after it.
class PolicyKeeper {
public:
    PolicyKeeper() { had_ = ReadNoCDBurningPolicy(value_) == ERROR_SUCCESS; }
    ~PolicyKeeper()
    {
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_SET_VALUE | kExplorerPolicyView, key.Receive()) !=
            ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExW(key, L"NoCDBurning", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value_), sizeof(value_));
        else
            RegDeleteValueW(key, L"NoCDBurning");
    }
    PolicyKeeper(const PolicyKeeper&) = delete;
    PolicyKeeper& operator=(const PolicyKeeper&) = delete;

private:
    bool had_ = false;
    DWORD value_ = 0;
};

void ForgetStoredState()
{
    producttest::DeleteProductKey();
    DeleteFileW(Quelmar::GetSettingFilePath());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRecordKey);
    DeleteFileW((std::wstring(ScmSession::kFolder) + L"\\CDBurning.dat").c_str());
}

class SixtyFourBitWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        policy_ = new PolicyKeeper;
        session_ = new ScmSession;
        session_->Remove();
        std::string error;
        installed_ = session_->Install(WindowsPath(QEVRIN_VARIANT_PROGRAM), Scenario(), error) &&
                     session_->Create().exitCode == 0;
        if (!installed_)
            installError_ = error;
    }

    static void TearDownTestSuite()
    {
        session_->Remove();
        ForgetStoredState();
        delete session_;
        session_ = nullptr;
        delete policy_;
        policy_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(installed_) << "the variant could not be installed: " << installError_;
        ForgetStoredState();
    }

    void TearDown() override
    {
        SERVICE_STATUS status = {};
        if (session_->Query(status) && status.dwCurrentState != SERVICE_STOPPED && session_->Control(128, status))
            session_->WaitForState(SERVICE_STOPPED, 60000, status);
        ForgetStoredState();
    }

    // Starts the service and waits until the driver holds the E: stick's first rule.
    static ::testing::AssertionResult Start(const std::string& firstRuleOfE)
    {
        const ProgramRun started = session_->NetStart();
        SERVICE_STATUS status = {};
        if (!session_->WaitForState(SERVICE_RUNNING, 60000, status))
            return ::testing::AssertionFailure() << "not running: " << started.output
                                                 << ReadText(session_->Beside(L"QEVRINs.testbed.log"));
        if (!WaitForRule('E', firstRuleOfE))
            return ::testing::AssertionFailure() << "no first table: " << ControlRequestOnce("rules");
        return ::testing::AssertionSuccess();
    }

    static PolicyKeeper* policy_;
    static ScmSession* session_;
    static bool installed_;
    static std::string installError_;
};

PolicyKeeper* SixtyFourBitWindows::policy_ = nullptr;
ScmSession* SixtyFourBitWindows::session_ = nullptr;
bool SixtyFourBitWindows::installed_ = false;
std::string SixtyFourBitWindows::installError_;

TEST_F(SixtyFourBitWindows, X64ServiceLocksPortableDevicesAndRestartsChangedVolumes)
{
    ASSERT_TRUE(StoreAsX64Tool(false, true));
    ASSERT_TRUE(Start("0"));
    EXPECT_TRUE(WaitUntil([] { return Contains(ReplyLines("actions"), "phone disable config-specific ok"); }, 10000))
        << ControlRequestOnce("actions");
    const std::vector<std::string> devices = ReplyLines("devices");
    ASSERT_EQ(1u, devices.size());
    EXPECT_NE(std::string::npos, devices[0].find(" disabled present")) << devices[0];

    // E: becomes read-only: the stick's volume is restarted for Explorer, and the remounter
    // started for alice with its letter.
    ASSERT_TRUE(StoreAsX64Tool(true, true));
    EXPECT_EQ((std::vector<int32_t>{0}), Reload());
    ASSERT_TRUE(WaitForRule('E', "2"));
    EXPECT_TRUE(WaitUntil([] { return Contains(ReplyLines("actions"), "E: propchange global ok"); }, 20000))
        << ControlRequestOnce("actions");
    EXPECT_TRUE(WaitUntil(
        [] {
            for (const std::string& launch : ReplyLines("launches"))
                if (launch.find("QEVRINrmt.exe\" E\t") != std::string::npos)
                    return true;
            return false;
        },
        20000))
        << ControlRequestOnce("launches");
    for (const std::string& action : ReplyLines("actions"))
        EXPECT_EQ(std::string::npos, action.find("failed")) << action;
}

TEST_F(SixtyFourBitWindows, X64ServiceAndX86ToolShareTheStoredSettingAndTheCdPolicy)
{
    wchar_t wine32[8] = {};
    if (GetEnvironmentVariableW(L"QEVRIN_WINE32", wine32, 8) && std::wstring(wine32) == L"no")
        GTEST_SKIP() << "this machine cannot execute 32-bit programs: the x86 tool is not run";
    const std::wstring x86Tool = WindowsPath(QEVRIN_X86_TOOL_STORE);
    if (GetFileAttributesW(x86Tool.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no x86 build of the tool's store at " << QEVRIN_X86_TOOL_STORE << " (build the win32 preset first)";
    const std::wstring command = L"\"" + x86Tool + L"\" ";

    // Nothing stored: the service blocks every stick.
    ASSERT_TRUE(Start("1"));

    // The x86 tool stores a password and a whitelist with E: full and F: read-only, and asks
    // for the reload: the x64 service takes both.
    const ProgramRun saved = RunProgram(command + L"save", 90000);
    ASSERT_TRUE(saved.finished && saved.exitCode == 0) << saved.exitCode << ": " << saved.output;
    EXPECT_TRUE(WaitForRule('E', "0")) << ControlRequestOnce("rules");
    EXPECT_EQ("2", RuleOf('F'));

    // The x86 tool's setting blocks CD/DVD writing: at logoff the service sets Explorer's
    // policy, which the x86 tool reads.
    SERVICE_STATUS status = {};
    ASSERT_TRUE(session_->Control(kLogoffOfSessionOne, status));
    EXPECT_TRUE(WaitUntil(
        [] {
            DWORD value = 0;
            return ReadNoCDBurningPolicy(value) == ERROR_SUCCESS && value == 1;
        },
        20000));
    ProgramRun shown = RunProgram(command + L"show", 90000);
    ASSERT_TRUE(shown.finished && shown.exitCode == 0) << shown.exitCode << ": " << shown.output;
    EXPECT_TRUE(Contains(Lines(shown.output), "cd-policy 1")) << shown.output;

    // What the x64 side stores, the x86 tool reads, field by field.
    ASSERT_TRUE(StoreAsX64Tool(true, false));
    shown = RunProgram(command + L"show", 90000);
    ASSERT_TRUE(shown.finished && shown.exitCode == 0) << shown.exitCode << ": " << shown.output;
    const std::vector<std::string> expected = {
        "password 1 33333333333333333333333333333333 key 0 0000:0000 - mode 1",
        "setting control 1 outside 1 portable 0 cd 0 sd 0",
        "entry 0781:5567 FULL01 2",
        "entry 0411:010D RO02 2",
        "cd-policy 1",
    };
    EXPECT_EQ(expected, Lines(shown.output));
}

}  // namespace
}  // namespace scmtest
