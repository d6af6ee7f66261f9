#pragma once
//
//  The setting tool's core object: the single-instance lock, the working copies of the
//  setting, the password data and the setting time stamp, their loading at start and storing
//  on request, and the tool's only use of the service pipe. GUI thread only.
//
#include "classlib/CSyncObject.h"
#include "core/store/FileKeySource.h"
#include "tool/ISettingToolCore.h"

namespace Quelmar {

class SettingToolCore : public ISettingToolCore {
public:
    SettingToolCore();
    ~SettingToolCore() override;
    SettingToolCore(const SettingToolCore&) = delete;
    SettingToolCore& operator=(const SettingToolCore&) = delete;

    // One of ConnectResult: the lock, then the service's version, then the stored state.
    int Connect() override;
    void Disconnect() override;
    int RequestServiceReload() override;
    int SaveSettings() override;
    int SavePasswordData() override;
    int ExportInstallSetting(const CString& path, const PasswordData& passwordData, const SettingV3& setting,
                             const SettingTimeStamp& timeStamp) override;
    int RegisterExemptProcess() override;
    void UnregisterExemptProcess() override;
    void SetSettings(const SettingV3& setting) override;
    void SetPasswordData(const PasswordData& passwordData) override;
    void SetSettingTimeStamp(const SettingTimeStamp& timeStamp) override;
    const SettingV3* GetSettings() const override { return &setting_; }
    const PasswordData* GetPasswordData() const override { return &passwordData_; }
    const SettingTimeStamp* GetSettingTimeStamp() const override { return &timeStamp_; }
    const int* IsSetupDone() const override { return &setupDone_; }
    void MarkSetupDone() override { setupDone_ = 1; }
    int ReadImportedFileTime(ImportTimeRecord& record) override;

    // How long Connect waits for the service's answer to its version request.
    static constexpr DWORD kPingWaitMs = 60000;
    // How long the other pipe requests wait for the pipe.
    static constexpr DWORD kRequestWaitMs = 500;

private:
    int PingService();
    // kConnected, or kStoredDataUnreadable when the password data item is there but cannot
    // be read (the working copies then keep their defaults and nothing is stored).
    int LoadStoredState();

    CMutex instanceMutex_;
    CSingleLock instanceLock_;
    SettingV3 setting_;
    PasswordData passwordData_;
    SettingTimeStamp timeStamp_;
    int setupDone_ = 0;
    FileKeySource keySource_;
};

}  // namespace Quelmar
