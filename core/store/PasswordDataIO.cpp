#include "core/store/PasswordDataIO.h"

#include "classlib/ScopedRegKey.h"
#include "core/store/ItemPayloads.h"
#include "core/store/StoreConstants.h"
#include "core/system/RegistryAccess.h"

namespace Quelmar {

PasswordDataStorage::PasswordDataStorage(const CString& productKeyPath)
    : productKeyPath(productKeyPath), storage(ItemKeyPath(productKeyPath), StoreConstants::kPasswordDataValue)
{
}

CPasswordDataIOV2::CPasswordDataIOV2(const CString& productKeyPath)
    : PasswordDataStorage(productKeyPath),
      StoredItem<PasswordData>(storage, storage, std::string(), StoreConstants::kPasswordDataKey,
                               sizeof(StoreConstants::kPasswordDataKey), ParsePasswordPayload,
                               SerializePasswordPayload)
{
}

void CPasswordDataIOV2::EnsureItemKey()
{
    {
        ScopedRegKey product;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, productKeyPath, 0, nullptr, 0, KEY_READ | kProductKeyView, nullptr,
                            product.Receive(), nullptr) != ERROR_SUCCESS) {
            throw failed;
        }
    }
    if (RegCreateKeyWithDacl(ItemKeyPath(productKeyPath), kProductKeyView) != ERROR_SUCCESS) {
        throw failed;
    }
}

}  // namespace Quelmar
