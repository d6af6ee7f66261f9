#pragma once
//
//  The password data as its registry item: one REG_BINARY value under the product's item key,
//  in the encrypted record container with the item's own key. The only item that prepares the
//  registry keys on which all registry items live. Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/PasswordData.h"
#include "core/store/ItemStorage.h"
#include "core/store/StoredItem.h"

namespace Quelmar {

// Holds the storage before the item that reads and writes it is built.
struct PasswordDataStorage {
    explicit PasswordDataStorage(const CString& productKeyPath);
    CString productKeyPath;
    RegistryValueStorage storage;
};

class CPasswordDataIOV2 : private PasswordDataStorage, public StoredItem<PasswordData> {
public:
    enum _throws { failed = 1 };

    // productKeyPath: the product key under HKEY_LOCAL_MACHINE.
    explicit CPasswordDataIOV2(const CString& productKeyPath);

    // Creates the product key (default security) and the item key (the product access list)
    // when they are missing; existing keys are left as they are. Throws _throws 1.
    void EnsureItemKey();
};

}  // namespace Quelmar
