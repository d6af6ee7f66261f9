#pragma once
//
//  Where the product keeps its stored items, and the keys that the programs hold for them.
//
#include "classlib/WinTypes.h"

namespace StoreConstants {

// HKEY_LOCAL_MACHINE\<product key>\<item key> holds the registry items.
constexpr const WCHAR* kProductKeyPath = _T("SOFTWARE\\{B3DDE5BF-C4F8-4f2c-80A5-A145C4C9AFE1}");
constexpr const WCHAR* kItemKeyName = _T("{AA9C7DA6-C705-4c8c-89F3-2AFD0613AD79}");
constexpr const WCHAR* kPasswordDataValue = _T("{32D19052-CFCD-485f-895F-DDDBD12EF805}");
constexpr const WCHAR* kTimeStampValue = _T("{09099789-4C2B-43a6-801C-4053B294075A}");

// Folder and file names under the common application-data folder.
constexpr const WCHAR* kMakerFolderName = _T("TALVEK");
constexpr const WCHAR* kProductFolderName = _T("QEVRIN");
constexpr const WCHAR* kSettingFileName = _T("Setting.dat");
constexpr const WCHAR* kImportedFileName = _T("Imported.dat");
constexpr const WCHAR* kFbfProgramName = _T("QEVRINfbf.exe");

// Record names of the files.
constexpr const char* kSettingRecordName = "QEVRINSettingFile";
constexpr const char* kImportTimeRecordName = "QEVRINExportTimeImportedFile";
constexpr const char* kInstallSettingRecordName = "QEVRINInstallSetting";

// The items' own AES-128 keys, the same on every PC.
constexpr BYTE kPasswordDataKey[16] = {0x5C, 0x1E, 0x93, 0xA7, 0x0D, 0x4B, 0x26, 0xF8,
                                       0xE1, 0xC9, 0x7A, 0x30, 0xB6, 0xD2, 0x58, 0x4F};
constexpr BYTE kTimeStampKey[16] = {0xA3, 0x8B, 0x17, 0xD4, 0xC2, 0x90, 0x6E, 0x5F,
                                    0xF0, 0x1B, 0x4D, 0x7C, 0x62, 0x39, 0xE8, 0xA5};
constexpr BYTE kInstallSettingKey[16] = {0x7E, 0x42, 0xD0, 0x9B, 0x3A, 0xC5, 0xF1, 0x18,
                                         0x6D, 0x2B, 0xE7, 0x94, 0x0C, 0x5A, 0x39, 0xF3};

// The key material from which the setting tool and the service build the run-time key of
// Setting.dat and Imported.dat. Both programs must hold the same two values.
constexpr DWORD kFileKeyMaterial[2] = {0x5E71C3A9, 0x2D08B46F};

}  // namespace StoreConstants
