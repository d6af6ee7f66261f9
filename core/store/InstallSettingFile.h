#pragma once
//
//  The install-setting file: a whole configuration carried from one PC to another (the
//  setting, the password data, the exporting PC's setting time stamp and the export time) in
//  one encrypted record file with the file's own key, the same on every PC. The system writes
//  and reads format 0x10030000 only.
//
#include "classlib/CString.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "core/model/SettingTimeStamp.h"
#include "core/store/RecordFile.h"

#include <cstdint>
#include <vector>

class DataParser;
class DataSerializer;

namespace Quelmar {

// The record that the file's payload holds, level by level.
struct InstallSettingData {
    // level 1
    int usbControlEnabled = 0;
    std::vector<WhitelistEntry> whitelist;
    int outsidePolicy = -1;
    int passwordSet = 0;
    std::vector<BYTE> passwordDigest;
    int64_t settingTimeStamp = 0;
    int blockPortableDevices = 0;
    int blockCdWriting = 0;
    // level 2
    int keyDeviceSet = 0;
    KeyDeviceId keyDevice;
    int unlockMode = 0;
    // level 3
    AutoImportSetting autoImport;
    SettingTimeStamp exportTime;
    // level 4
    int blockInternalSd = -1;
};

const DWORD kInstallSettingTagV1 = 0x10010000;
const DWORD kInstallSettingTagV2 = 0x10020000;
const DWORD kInstallSettingTagV3 = 0x10030000;

class CInstallSettingFilePlusV1 : public EncryptedRecordFile {
public:
    // 1 loading the file failed, 2 short, malformed or left-over bytes, 3 wrong format tag.
    enum _throws { loadFailed = 1, malformed = 2, wrongTag = 3 };

    explicit CInstallSettingFilePlusV1(const CString& path);

    // out = [formatTag][body 1].
    virtual void WriteV1(const InstallSettingData& data, std::vector<BYTE>& out);
    // Tag 0x10010000 and body 1, nothing more; throws _throws.
    virtual void ReadV1(const std::vector<BYTE>& payload, InstallSettingData& data);

protected:
    // A shortage inside body 1 throws CInstallSettingFilePlusV1::_throws 2, whichever class
    // reads it.
    static void ReadBody1(DataParser& parser, InstallSettingData& data);
    static void WriteBody1(DataSerializer& writer, const InstallSettingData& data);
};

class CInstallSettingFilePlusV2 : public CInstallSettingFilePlusV1 {
public:
    enum _throws { loadFailed = 1, malformed = 2, wrongTag = 3 };

    explicit CInstallSettingFilePlusV2(const CString& path);

    virtual void WriteV2(const InstallSettingData& data, std::vector<BYTE>& out);
    virtual void ReadV2(const std::vector<BYTE>& payload, InstallSettingData& data);
    virtual void WriteV3(const InstallSettingData& data, std::vector<BYTE>& out);
    virtual void ReadV3(const std::vector<BYTE>& payload, InstallSettingData& data);

private:
    static void ReadBody2Rest(DataParser& parser, InstallSettingData& data);
    static void WriteBody2Rest(DataSerializer& writer, const InstallSettingData& data);
};

}  // namespace Quelmar
