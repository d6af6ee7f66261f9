#pragma once
//
//  The facade through which the setting tool and the service load and save the setting
//  (Setting.dat, with its fall-back over the three format versions and to defaults), the
//  password data and the import-time record, plus the product's paths and the Explorer CD
//  burning policy. Every operation catches what the layers below throw and answers 1 or 0.
//  Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/model/SettingDefaults.h"
#include "core/model/SettingTimeStamp.h"
#include "core/store/FileKeySource.h"

#include <cstdint>

namespace Quelmar {

CString GetMakerFolder();
CString GetProductFolder();
CString GetSettingFilePath();
CString GetImportedFilePath();
CString GetModuleFolderPath();
CString GetFbfProgramPath();

int LoadSettingFileV1(SettingV1& setting, const FileKeySource& keySource);
int LoadSettingFileV2(SettingV2& setting, const FileKeySource& keySource);
int LoadSettingFileV3(SettingV3& setting, const FileKeySource& keySource);

// 1 when the Explorer policy blocks CD burning: the NoCDBurning value on Windows later than
// 5.0, always on 5.0 and earlier.
int IsCdBurningBlockedByPolicy();

namespace SettingStore {

// The password data, then the setting: version 3, else 2, else 1, else the defaults. 0 only
// when the password data cannot be read (the setting is then left untouched).
int Load(SettingV3& setting, PasswordData& passwordData, const FileKeySource& keySource);
int SaveSettingFile(const FileKeySource& keySource, const SettingV3& setting);
int LoadPasswordData(PasswordData& passwordData);
// 1 when the password data item is there, readable or not; 0 only when its key or its value
// does not exist. Tells a first run (nothing stored yet) from a damaged or unreadable item.
int PasswordDataItemExists();
int SavePasswordData(const PasswordData& passwordData);
int LoadImportTime(ImportTimeRecord& record, const FileKeySource& keySource);
int SaveImportTime(const ImportTimeRecord& record, const FileKeySource& keySource);
// Replaces the times that are given (null: keep); an unreadable record starts from zeros.
void UpdateImportTime(const FileKeySource& keySource, const int64_t* exportTime, const int64_t* importTime);

}  // namespace SettingStore

}  // namespace Quelmar
