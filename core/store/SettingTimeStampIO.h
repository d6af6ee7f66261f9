#pragma once
//
//  The setting time stamp as its registry item: one REG_BINARY value under the product's item
//  key, in the encrypted record container with the item's own key. The item never creates the
//  key. Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/SettingTimeStamp.h"
#include "core/store/ItemStorage.h"
#include "core/store/StoredItem.h"

namespace Quelmar {

struct SettingTimeStampStorage {
    explicit SettingTimeStampStorage(const CString& productKeyPath);
    RegistryValueStorage storage;
};

class SettingTimeStampIO : private SettingTimeStampStorage, public StoredItem<SettingTimeStamp> {
public:
    explicit SettingTimeStampIO(const CString& productKeyPath);
};

// When holder points to a stamp, its time becomes now: 1. Without a stamp: 0.
int StampCurrentTime(SettingTimeStamp* holder);

}  // namespace Quelmar
