#include "core/format/SettingConversion.h"

#include "core/model/SettingDefaults.h"

#include <utility>

namespace Quelmar {

namespace {

// Built apart and moved in at the end, so that converting a record into itself keeps its
// whitelist instead of reading it back after the defaults emptied it.
SettingV3 FromVersion1Fields(const SettingV1& older)
{
    SettingV3 result;
    SettingStore::SetDefaultSettings(result);
    result.usbControlEnabled = older.usbControlEnabled;
    result.outsidePolicy = older.outsidePolicy;
    result.whitelist = older.whitelist;
    result.blockPortableDevices = older.blockPortableDevices;
    result.blockCdWriting = older.blockCdWriting;
    return result;
}

}  // namespace

void ConvertSettingV2ToV3(const SettingV2& older, SettingV3& current)
{
    SettingV3 result = FromVersion1Fields(older);
    result.autoImport.importAtStart = older.autoImport.importAtStart;
    result.autoImport.importPath = older.autoImport.importPath;
    current = std::move(result);
}

void ConvertSettingV1ToV3(const SettingV1& older, SettingV3& current)
{
    current = FromVersion1Fields(older);
}

}  // namespace Quelmar
