#include "core/store/ItemPayloads.h"

#include "core/data/DataInterfaces.h"
#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/SettingTimeStamp.h"

namespace Quelmar {

using Data::ThrowParseFailure;
using Data::ThrowSerializeFailure;

namespace {

// Reads every field of the password payload into record; false at the first failure.
bool ReadPasswordFields(DataParser& parser, PasswordData& record)
{
    DWORD tag = 0;
    if (parser.ReadU32(tag) != 0 || tag != kPasswordPayloadTag) {
        return false;
    }
    DWORD value = 0;
    if (parser.ReadU32(value) != 0) {
        return false;
    }
    record.passwordSet = static_cast<LONG>(value);
    if (parser.ReadBytes(record.passwordDigest) != 0) {
        return false;
    }
    if (parser.ReadU32(value) != 0) {
        return false;
    }
    record.keyDeviceSet = static_cast<LONG>(value);
    WORD id = 0;
    if (parser.ReadU16(id) != 0) {
        return false;
    }
    record.keyDevice.vendorId = id;
    if (parser.ReadU16(id) != 0) {
        return false;
    }
    record.keyDevice.productId = id;
    if (parser.ReadString(record.keyDevice.serialNumber) != 0) {
        return false;
    }
    if (parser.ReadU32(value) != 0) {
        return false;
    }
    record.unlockMode = static_cast<LONG>(value);
    return parser.Left() == 0;
}

}  // namespace

void ParsePasswordPayload(const std::vector<BYTE>& payload, PasswordData* bound)
{
    if (bound == nullptr) {
        ThrowParseFailure();
    }
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    if (payload.empty() || !ReadPasswordFields(parser, *bound)) {
        AssignPasswordData(*bound, PasswordData());
        ThrowParseFailure();
    }
}

void SerializePasswordPayload(const PasswordData* bound, std::vector<BYTE>& out)
{
    if (bound == nullptr) {
        ThrowSerializeFailure();
    }
    DataSerializer writer;
    writer.WriteU32(kPasswordPayloadTag);
    writer.WriteU32(static_cast<DWORD>(bound->passwordSet));
    writer.WriteBytes(bound->passwordDigest);
    writer.WriteU32(static_cast<DWORD>(bound->keyDeviceSet));
    writer.WriteU16(bound->keyDevice.vendorId);
    writer.WriteU16(bound->keyDevice.productId);
    writer.WriteString(bound->keyDevice.serialNumber);
    writer.WriteU32(static_cast<DWORD>(bound->unlockMode));
    out = writer.Bytes();
}

void ParseTimeStampPayload(const std::vector<BYTE>& payload, SettingTimeStamp* bound)
{
    if (bound == nullptr) {
        ThrowParseFailure();
    }
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    if (payload.empty() || parser.ReadU64(bound->time) != 0 || parser.Left() != 0) {
        bound->time = 0;
        ThrowParseFailure();
    }
}

void SerializeTimeStampPayload(const SettingTimeStamp* bound, std::vector<BYTE>& out)
{
    if (bound == nullptr) {
        ThrowSerializeFailure();
    }
    DataSerializer writer;
    writer.WriteU64(static_cast<ULONGLONG>(bound->time));
    out = writer.Bytes();
}

void ParseImportTimePayload(const std::vector<BYTE>& payload, ImportTimeRecord* bound)
{
    if (bound == nullptr) {
        ThrowParseFailure();
    }
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    if (payload.empty() || parser.ReadU64(bound->exportTime.time) != 0 || parser.ReadU64(bound->importTime.time) != 0 ||
        parser.Left() != 0) {
        bound->exportTime.time = 0;
        bound->importTime.time = 0;
        ThrowParseFailure();
    }
}

void SerializeImportTimePayload(const ImportTimeRecord* bound, std::vector<BYTE>& out)
{
    if (bound == nullptr) {
        ThrowSerializeFailure();
    }
    DataSerializer writer;
    writer.WriteU64(static_cast<ULONGLONG>(bound->exportTime.time));
    writer.WriteU64(static_cast<ULONGLONG>(bound->importTime.time));
    out = writer.Bytes();
}

}  // namespace Quelmar
