#pragma once
//
//  The values that a missing or unreadable setting and password data take.
//
//  SettingStore is a namespace rather than a class so that the store's facade
//  (core/store/SettingStore.h) can add its operations to it beside these two.
//
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"

namespace Quelmar {
namespace SettingStore {

// Control on, whitelist empty, storage off the whitelist blocked, portable devices and CD/DVD
// writing blocked, no automatic import, internal SD card reader not blocked.
void SetDefaultSettings(SettingV3& setting);

// No password, no key device, unlock mode unset; the digest's storage is released.
void SetDefaultPasswordData(PasswordData& data);

}  // namespace SettingStore
}  // namespace Quelmar
