#pragma once
//
//  What the setting tool's windows may ask of its core object: the working copies of the
//  setting, the password data and the setting time stamp, storing them, and the service.
//  Results: 0 ok, 10 store failure, 20 pipe failure where stated.
//
#include "classlib/CString.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/model/SettingTimeStamp.h"

namespace Quelmar {

// Outcomes of Connect.
enum ConnectResult : int {
    kConnected = 0,
    kAnotherInstance = 1,
    kServiceMismatch = 2,
    kLegacyFiltersBlocked = 3,
    // The password data item exists but cannot be read: nothing may be stored over it.
    kStoredDataUnreadable = 4,
};

class ISettingToolCore {
public:
    virtual ~ISettingToolCore() = default;
    virtual int Connect() = 0;
    virtual void Disconnect() = 0;
    virtual int RequestServiceReload() = 0;
    virtual int SaveSettings() = 0;
    virtual int SavePasswordData() = 0;
    virtual int ExportInstallSetting(const CString& path, const PasswordData& passwordData, const SettingV3& setting,
                                     const SettingTimeStamp& timeStamp) = 0;
    virtual int RegisterExemptProcess() = 0;
    virtual void UnregisterExemptProcess() = 0;
    virtual void SetSettings(const SettingV3& setting) = 0;
    virtual void SetPasswordData(const PasswordData& passwordData) = 0;
    virtual void SetSettingTimeStamp(const SettingTimeStamp& timeStamp) = 0;
    virtual const SettingV3* GetSettings() const = 0;
    virtual const PasswordData* GetPasswordData() const = 0;
    virtual const SettingTimeStamp* GetSettingTimeStamp() const = 0;
    virtual const int* IsSetupDone() const = 0;
    virtual void MarkSetupDone() = 0;
    virtual int ReadImportedFileTime(ImportTimeRecord& record) = 0;
};

// The process's one core object, built on first use and destroyed at exit.
ISettingToolCore& GetSettingToolCore();

}  // namespace Quelmar
