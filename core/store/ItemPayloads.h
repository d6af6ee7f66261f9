#pragma once
//
//  The payloads of the small stored items, as bytes: the password data, the setting time stamp
//  and the import-time record. Each parser decodes into the record bound to it and throws
//  Data::IParser::_throws 1 on any shortage, wrong tag or left-over byte, after resetting the
//  bound record so that a failed read never leaves a partial record; each serializer throws
//  Data::ISerializer::_throws 1 when no record is bound.
//
#include "classlib/WinTypes.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/PasswordData.h"
#include "core/model/SettingTimeStamp.h"

#include <vector>

namespace Quelmar {

const DWORD kPasswordPayloadTag = 0x00002000;

void ParsePasswordPayload(const std::vector<BYTE>& payload, PasswordData* bound);
void SerializePasswordPayload(const PasswordData* bound, std::vector<BYTE>& out);

void ParseTimeStampPayload(const std::vector<BYTE>& payload, SettingTimeStamp* bound);
void SerializeTimeStampPayload(const SettingTimeStamp* bound, std::vector<BYTE>& out);

void ParseImportTimePayload(const std::vector<BYTE>& payload, ImportTimeRecord* bound);
void SerializeImportTimePayload(const ImportTimeRecord* bound, std::vector<BYTE>& out);

}  // namespace Quelmar
