#include "core/model/Setting.h"

namespace Quelmar {

BOOL EqualWhitelists(const Whitelist& a, const Whitelist& b)
{
    if (a.size() != b.size()) {
        return FALSE;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (!EqualWhitelistEntries(a[i], b[i])) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL EqualSettings(const SettingV2& a, const SettingV2& b)
{
    return a.usbControlEnabled == b.usbControlEnabled &&
           a.outsidePolicy == b.outsidePolicy &&
           EqualWhitelists(a.whitelist, b.whitelist) &&
           a.blockPortableDevices == b.blockPortableDevices &&
           a.blockCdWriting == b.blockCdWriting &&
           a.autoImport.importAtStart == b.autoImport.importAtStart &&
           a.autoImport.importPath == b.autoImport.importPath;
}

void AssignSetting(SettingV3& dst, const SettingV3& src)
{
    if (&dst != &src) {
        dst = src;
    }
}

}  // namespace Quelmar
