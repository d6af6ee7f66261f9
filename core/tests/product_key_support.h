#pragma once
//
//  The product's registry key as the Windows tests reach it: in the registry view that the
//  stored items live in, whichever build the test is.
//
#include "classlib/ScopedRegKey.h"
#include "core/store/ItemStorage.h"
#include "core/store/StoreConstants.h"

#include <windows.h>

namespace producttest {

// Opens a key under HKEY_LOCAL_MACHINE in the product's view; the Win32 error.
inline LONG OpenProductKey(const wchar_t* path, REGSAM access, ScopedRegKey& key)
{
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access | kProductKeyView, key.Receive());
}

// Takes the product key away with everything below it.
inline void DeleteProductKey()
{
    {
        ScopedRegKey product;
        if (OpenProductKey(StoreConstants::kProductKeyPath, KEY_ALL_ACCESS, product) == ERROR_SUCCESS)
            RegDeleteTreeW(product, nullptr);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath, kProductKeyView, 0);
}

}  // namespace producttest
