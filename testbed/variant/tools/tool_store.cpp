//
//  qevrin_tool_store: the setting tool's core without its windows, so that a test can make the
//  setting tool of one build store or read the setting and password data beside a service of
//  another build. It connects as the tool does (the running service must answer its version).
//
//      qevrin_tool_store save   stores, as OK on the settings sheet does, a password and the
//                               setting: USB storage control on, storage off the whitelist
//                               blocked, 0781:5567 "FULL01" with full access, 0411:010D "RO02"
//                               read-only, CD/DVD writing blocked, portable devices not; then
//                               asks the service to reload
//      qevrin_tool_store show   prints what the tool loaded, one line each:
//                                 password SET DIGEST-HEX key SET VID:PID SERIAL mode MODE
//                                 setting control C outside O portable P cd D sd S
//                                 entry VID:PID SERIAL ATTRIBUTE      (per whitelist entry)
//                                 cd-policy 0|1                       (Explorer's policy)
//
//  Exit code 0 on success, 1 for a wrong command line, 2 when the tool could not connect (its
//  result is printed), 3 when storing failed, 4 when the service did not take the reload.
//
#include "core/store/SettingStore.h"
#include "core/tests/stick_entry.h"
#include "tool/SettingToolCore.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using namespace Quelmar;

// The test's serial numbers are plain ASCII.
std::string Narrow(const CString& text)
{
    std::string narrow;
    for (int i = 0; i < text.GetLength(); ++i)
        narrow += static_cast<char>(text[i]);
    return narrow.empty() ? "-" : narrow;
}

int Save(SettingToolCore& core)
{
    PasswordData password;
    password.passwordSet = 1;
    password.passwordDigest.assign(16, 0x5A);
    password.unlockMode = 1;
    SettingV3 setting;
    SettingStore::SetDefaultSettings(setting);
    setting.usbControlEnabled = 1;
    setting.outsidePolicy = OutsidePolicyBlock;
    setting.blockPortableDevices = 0;
    setting.blockCdWriting = 1;
    setting.blockInternalSd = 0;
    setting.whitelist = {StickEntry(0x0781, 0x5567, L"FULL01", 0), StickEntry(0x0411, 0x010D, L"RO02", 2)};
    core.SetPasswordData(password);
    core.SetSettings(setting);
    if (core.SavePasswordData() != 0 || core.SaveSettings() != 0) {
        std::printf("storing failed\n");
        return 3;
    }
    if (core.RequestServiceReload() != 0) {
        std::printf("the service did not take the reload\n");
        return 4;
    }
    std::printf("stored\n");
    return 0;
}

int Show(SettingToolCore& core)
{
    const PasswordData& password = *core.GetPasswordData();
    std::string digest;
    for (BYTE b : password.passwordDigest) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        digest += hex;
    }
    std::printf("password %d %s key %d %04X:%04X %s mode %d\n", password.passwordSet, digest.empty() ? "-" : digest.c_str(),
                password.keyDeviceSet, password.keyDevice.vendorId, password.keyDevice.productId,
                Narrow(password.keyDevice.serialNumber).c_str(), password.unlockMode);
    const SettingV3& setting = *core.GetSettings();
    std::printf("setting control %d outside %d portable %d cd %d sd %d\n", setting.usbControlEnabled,
                setting.outsidePolicy, setting.blockPortableDevices, setting.blockCdWriting, setting.blockInternalSd);
    for (const WhitelistEntry& entry : setting.whitelist)
        std::printf("entry %04X:%04X %s %d\n", entry.vendorId, entry.productId, Narrow(entry.serialNumber).c_str(),
                    entry.attribute);
    std::printf("cd-policy %d\n", IsCdBurningBlockedByPolicy());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool save = argc == 2 && std::wcscmp(argv[1], L"save") == 0;
    const bool show = argc == 2 && std::wcscmp(argv[1], L"show") == 0;
    if (!save && !show) {
        std::printf("usage: qevrin_tool_store save|show\n");
        return 1;
    }
    SettingToolCore core;
    const int connected = core.Connect();
    if (connected != kConnected) {
        std::printf("connect %d\n", connected);
        return 2;
    }
    const int result = save ? Save(core) : Show(core);
    core.Disconnect();
    std::fflush(stdout);
    return result;
}
