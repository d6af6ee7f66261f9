#pragma once
//
//  Exporting the whole configuration to an install-setting file, and applying one at start
//  when it is newer. Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/model/SettingTimeStamp.h"
#include "core/store/FileKeySource.h"

namespace Quelmar {

// 0 read (the four out-records hold the file's values), 1 the file's body 1 is truncated,
// 9 any other failure. On failure the out-records are untouched.
int LoadInstallSettingFile(const CString& path, PasswordData& passwordData, SettingV3& setting,
                           SettingTimeStamp& timeStamp, SettingTimeStamp& exportTime);

// 1 written (and the import-time record's export time set to the file's), else 0.
int ExportInstallSettingFile(const FileKeySource& keySource, const PasswordData& passwordData, const CString& path,
                             const SettingV3& setting, const SettingTimeStamp& timeStamp);

// Result codes of ApplyInstallSettingIfNewer.
enum ApplyInstallSettingResult {
    kApplied = 0,
    kBodyTruncated = 1,
    kTimeStampStoreFailed = 3,
    kTimeStampDiffers = 4,
    kTimeStampReadFailed = 5,
    kPasswordDataStoreFailed = 6,
    kSettingStoreFailed = 7,
    kNotNewer = 8,
    kFileUnreadable = 9,
};

// Loads the file into the caller's records (which keep the file's values whatever follows),
// checks the stored setting time stamp (stampCheck) and the export time against
// lastExportTime (newerCheck), then stores the time stamp, the password data and the setting
// and records the times. Returns one of ApplyInstallSettingResult.
int ApplyInstallSettingIfNewer(const FileKeySource& keySource, PasswordData& passwordData, const CString& path,
                               SettingV3& setting, SettingTimeStamp& timeStamp, int64_t lastExportTime,
                               int stampCheck, int newerCheck);

}  // namespace Quelmar
