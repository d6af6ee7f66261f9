#pragma once
//
//  The password data item of the product's registry key as raw bytes, so that a test can
//  store a damaged one and see that nothing was written over it.
//
#include "classlib/ScopedRegKey.h"
#include "core/store/ItemStorage.h"
#include "core/store/StoreConstants.h"
#include "core/tests/product_key_support.h"

#include <vector>

namespace tooltest {

inline bool StorePasswordItemBytes(const std::vector<BYTE>& bytes)
{
    ScopedRegKey key;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, ItemKeyPath(StoreConstants::kProductKeyPath), 0, nullptr, 0,
                           KEY_ALL_ACCESS | kProductKeyView, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(key, StoreConstants::kPasswordDataValue, 0, REG_BINARY, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

// Empty when there is no item.
inline std::vector<BYTE> StoredPasswordItemBytes()
{
    ScopedRegKey key;
    if (producttest::OpenProductKey(ItemKeyPath(StoreConstants::kProductKeyPath), KEY_READ, key) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> bytes(4096);
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegQueryValueExW(key, StoreConstants::kPasswordDataValue, nullptr, nullptr, bytes.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace tooltest
