#include "core/store/SettingTimeStampIO.h"

#include "core/store/ItemPayloads.h"
#include "core/store/StoreConstants.h"

#include <ctime>

namespace Quelmar {

SettingTimeStampStorage::SettingTimeStampStorage(const CString& productKeyPath)
    : storage(ItemKeyPath(productKeyPath), StoreConstants::kTimeStampValue)
{
}

SettingTimeStampIO::SettingTimeStampIO(const CString& productKeyPath)
    : SettingTimeStampStorage(productKeyPath),
      StoredItem<SettingTimeStamp>(storage, storage, std::string(), StoreConstants::kTimeStampKey,
                                   sizeof(StoreConstants::kTimeStampKey), ParseTimeStampPayload,
                                   SerializeTimeStampPayload)
{
}

int StampCurrentTime(SettingTimeStamp* holder)
{
    if (holder == nullptr) {
        return 0;
    }
    holder->time = static_cast<LONGLONG>(_time64(nullptr));
    return 1;
}

}  // namespace Quelmar
