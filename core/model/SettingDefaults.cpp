#include "core/model/SettingDefaults.h"

namespace Quelmar {
namespace SettingStore {

void SetDefaultSettings(SettingV3& setting)
{
    setting.usbControlEnabled = 1;
    Whitelist().swap(setting.whitelist);
    setting.outsidePolicy = OutsidePolicyBlock;
    setting.blockPortableDevices = 1;
    setting.blockCdWriting = 1;
    setting.autoImport.importAtStart = 0;
    setting.autoImport.importPath.Empty();
    setting.blockInternalSd = 0;
}

void SetDefaultPasswordData(PasswordData& data)
{
    data.passwordSet = 0;
    std::vector<BYTE>().swap(data.passwordDigest);
    data.keyDeviceSet = 0;
    data.keyDevice.Clear();
    data.unlockMode = UnlockModeUnset;
}

}  // namespace SettingStore
}  // namespace Quelmar
