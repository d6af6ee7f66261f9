#pragma once
//
//  A clean product state for the Windows tests of the stored items: no product key in the
//  registry and no product folder, before and after each test.
//
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/store/WholeFile.h"
#include "core/tests/product_key_support.h"

#include <gtest/gtest.h>

using namespace Quelmar;

class CleanProductState : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        producttest::DeleteProductKey();
        for (const CString& file : {GetSettingFilePath(), GetImportedFilePath()}) {
            DeleteFileW(file);
            DeleteFileW(PendingFilePath(file));
        }
        RemoveDirectoryW(GetProductFolder());
        RemoveDirectoryW(GetMakerFolder());
    }

    static CString ItemKeyPath()
    {
        return CString(StoreConstants::kProductKeyPath) + L"\\" + StoreConstants::kItemKeyName;
    }

    // A key in the product's registry view.
    static bool KeyExists(const CString& path)
    {
        ScopedRegKey key;
        return producttest::OpenProductKey(path, KEY_READ, key) == ERROR_SUCCESS;
    }

    static const DWORD* Material() { return StoreConstants::kFileKeyMaterial; }
};
