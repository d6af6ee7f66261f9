//
//  The password data's payload parser over arbitrary payloads; a refused payload must leave
//  the defaults, never a partial record.
//
#include "core/data/DataInterfaces.h"
#include "core/model/PasswordData.h"
#include "core/store/ItemPayloads.h"

#include <cstddef>
#include <cstdint>

using namespace Quelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PasswordData record;
    record.unlockMode = 9;
    try {
        ParsePasswordPayload(std::vector<BYTE>(data, data + size), &record);
        std::vector<BYTE> again;
        SerializePasswordPayload(&record, again);
    } catch (Data::IParser::_throws) {
        if (record.unlockMode != 0 || !record.passwordDigest.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
