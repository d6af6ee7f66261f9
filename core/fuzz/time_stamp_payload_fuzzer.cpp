//
//  The setting time stamp's and the import-time record's payload parsers over arbitrary
//  payloads.
//
#include "core/data/DataInterfaces.h"
#include "core/model/ImportTimeRecord.h"
#include "core/model/SettingTimeStamp.h"
#include "core/store/ItemPayloads.h"

#include <cstddef>
#include <cstdint>

using namespace Quelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<BYTE> payload(data, data + size);
    SettingTimeStamp stamp;
    try {
        ParseTimeStampPayload(payload, &stamp);
    } catch (Data::IParser::_throws) {
        if (stamp.time != 0) {
            __builtin_trap();
        }
    }
    ImportTimeRecord record;
    try {
        ParseImportTimePayload(payload, &record);
    } catch (Data::IParser::_throws) {
        if (record.exportTime.time != 0 || record.importTime.time != 0) {
            __builtin_trap();
        }
    }
    return 0;
}
