#include "core/store/InstallSettingFile.h"

#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"
#include "core/format/WhitelistEntryLayout.h"
#include "core/store/StoreConstants.h"

namespace Quelmar {

namespace {

typedef CInstallSettingFilePlusV1::_throws V1Throws;
typedef CInstallSettingFilePlusV2::_throws V2Throws;

// Reads the tag into the file's formatTag; a short payload throws malformed, another tag
// wrongTag, both of the reading class.
template <typename Throws>
void ReadTag(DataParser& parser, DWORD expected, DWORD& formatTag)
{
    DWORD tag = 0;
    if (parser.ReadU32(tag) != 0) {
        throw Throws::malformed;
    }
    formatTag = tag;
    if (tag != expected) {
        throw Throws::wrongTag;
    }
}

template <typename Throws>
LONG ReadLong(DataParser& parser)
{
    DWORD value = 0;
    if (parser.ReadU32(value) != 0) {
        throw Throws::malformed;
    }
    return static_cast<LONG>(value);
}

template <typename Throws>
WORD ReadWord(DataParser& parser)
{
    WORD value = 0;
    if (parser.ReadU16(value) != 0) {
        throw Throws::malformed;
    }
    return value;
}

template <typename Throws>
CString ReadText(DataParser& parser)
{
    CString text;
    if (parser.ReadString(text) != 0) {
        throw Throws::malformed;
    }
    return text;
}

template <typename Throws>
int64_t ReadTime(DataParser& parser)
{
    LONGLONG value = 0;
    if (parser.ReadU64(value) != 0) {
        throw Throws::malformed;
    }
    return value;
}

template <typename Throws>
void ExpectEnd(DataParser& parser)
{
    if (parser.Left() != 0) {
        throw Throws::malformed;
    }
}

}  // namespace

CInstallSettingFilePlusV1::CInstallSettingFilePlusV1(const CString& path)
    : EncryptedRecordFile(StoreConstants::kInstallSettingRecordName, path, StoreConstants::kInstallSettingKey,
                          sizeof(StoreConstants::kInstallSettingKey))
{
}

void CInstallSettingFilePlusV1::ReadBody1(DataParser& parser, InstallSettingData& data)
{
    data.usbControlEnabled = ReadLong<V1Throws>(parser);
    data.outsidePolicy = ReadLong<V1Throws>(parser);
    data.blockPortableDevices = ReadLong<V1Throws>(parser);
    data.blockCdWriting = ReadLong<V1Throws>(parser);
    const LONG count = ReadLong<V1Throws>(parser);
    for (LONG i = 0; i < count; ++i) {
        WhitelistEntry entry;
        if (!ReadWhitelistEntry(parser, entry)) {
            throw V1Throws::malformed;
        }
        data.whitelist.push_back(entry);
    }
    data.passwordSet = ReadLong<V1Throws>(parser);
    if (parser.ReadBytes(data.passwordDigest) != 0) {
        throw V1Throws::malformed;
    }
    data.keyDeviceSet = ReadLong<V1Throws>(parser);
    data.keyDevice.vendorId = ReadWord<V1Throws>(parser);
    data.keyDevice.productId = ReadWord<V1Throws>(parser);
    data.keyDevice.serialNumber = ReadText<V1Throws>(parser);
    data.unlockMode = ReadLong<V1Throws>(parser);
    data.settingTimeStamp = ReadTime<V1Throws>(parser);
}

void CInstallSettingFilePlusV1::WriteBody1(DataSerializer& writer, const InstallSettingData& data)
{
    writer.WriteU32(static_cast<DWORD>(data.usbControlEnabled));
    writer.WriteU32(static_cast<DWORD>(data.outsidePolicy));
    writer.WriteU32(static_cast<DWORD>(data.blockPortableDevices));
    writer.WriteU32(static_cast<DWORD>(data.blockCdWriting));
    writer.WriteU32(static_cast<DWORD>(data.whitelist.size()));
    for (const WhitelistEntry& entry : data.whitelist) {
        WriteWhitelistEntry(writer, entry);
    }
    writer.WriteU32(static_cast<DWORD>(data.passwordSet));
    writer.WriteBytes(data.passwordDigest);
    writer.WriteU32(static_cast<DWORD>(data.keyDeviceSet));
    writer.WriteU16(data.keyDevice.vendorId);
    writer.WriteU16(data.keyDevice.productId);
    writer.WriteString(data.keyDevice.serialNumber);
    writer.WriteU32(static_cast<DWORD>(data.unlockMode));
    writer.WriteU64(static_cast<ULONGLONG>(data.settingTimeStamp));
}

void CInstallSettingFilePlusV1::WriteV1(const InstallSettingData& data, std::vector<BYTE>& out)
{
    DataSerializer writer;
    writer.WriteU32(formatTag);
    WriteBody1(writer, data);
    out = writer.Bytes();
}

void CInstallSettingFilePlusV1::ReadV1(const std::vector<BYTE>& payload, InstallSettingData& data)
{
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    ReadTag<V1Throws>(parser, kInstallSettingTagV1, formatTag);
    ReadBody1(parser, data);
    ExpectEnd<V1Throws>(parser);
}

CInstallSettingFilePlusV2::CInstallSettingFilePlusV2(const CString& path) : CInstallSettingFilePlusV1(path) {}

void CInstallSettingFilePlusV2::ReadBody2Rest(DataParser& parser, InstallSettingData& data)
{
    data.autoImport.importAtStart = ReadLong<V2Throws>(parser);
    data.autoImport.importPath = ReadText<V2Throws>(parser);
    data.exportTime.time = ReadTime<V2Throws>(parser);
}

void CInstallSettingFilePlusV2::WriteBody2Rest(DataSerializer& writer, const InstallSettingData& data)
{
    writer.WriteU32(static_cast<DWORD>(data.autoImport.importAtStart));
    writer.WriteString(data.autoImport.importPath);
    writer.WriteU64(static_cast<ULONGLONG>(data.exportTime.time));
}

void CInstallSettingFilePlusV2::WriteV2(const InstallSettingData& data, std::vector<BYTE>& out)
{
    DataSerializer writer;
    writer.WriteU32(formatTag);
    WriteBody1(writer, data);
    WriteBody2Rest(writer, data);
    out = writer.Bytes();
}

void CInstallSettingFilePlusV2::ReadV2(const std::vector<BYTE>& payload, InstallSettingData& data)
{
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    ReadTag<V2Throws>(parser, kInstallSettingTagV2, formatTag);
    ReadBody1(parser, data);
    ReadBody2Rest(parser, data);
    ExpectEnd<V2Throws>(parser);
}

void CInstallSettingFilePlusV2::WriteV3(const InstallSettingData& data, std::vector<BYTE>& out)
{
    DataSerializer writer;
    writer.WriteU32(formatTag);
    WriteBody1(writer, data);
    WriteBody2Rest(writer, data);
    writer.WriteU32(static_cast<DWORD>(data.blockInternalSd));
    out = writer.Bytes();
}

void CInstallSettingFilePlusV2::ReadV3(const std::vector<BYTE>& payload, InstallSettingData& data)
{
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    ReadTag<V2Throws>(parser, kInstallSettingTagV3, formatTag);
    ReadBody1(parser, data);
    ReadBody2Rest(parser, data);
    const LONG blockInternalSd = ReadLong<V2Throws>(parser);
    if (blockInternalSd != 0 && blockInternalSd != 1) {
        throw V2Throws::malformed;
    }
    data.blockInternalSd = blockInternalSd;
    ExpectEnd<V2Throws>(parser);
}

}  // namespace Quelmar
