#pragma once
//
//  A clean product state for the Windows tests of the stored items: no product key in the
//  registry and no product folder, before and after each test.
//
#include "core/store/SettingStore.h"
#include "core/store/StoreConstants.h"
#include "core/store/WholeFile.h"

#include <gtest/gtest.h>

using namespace Quelmar;

class CleanProductState : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, StoreConstants::kProductKeyPath);
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

    static bool KeyExists(const CString& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static const DWORD* Material() { return StoreConstants::kFileKeyMaterial; }
};
