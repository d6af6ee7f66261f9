//
//  The record container's parser over arbitrary stored values, with and without a record
//  name, under the password data's key.
//
#include "core/crypto/CipherPair.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"
#include "core/store/RecordContainer.h"
#include "core/store/StoreConstants.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<DigestSession> digest = CreateMd5DigestSession();
    CipherPair cipher;
    KeyAesCbc(cipher, StoreConstants::kPasswordDataKey, 16);
    for (const char* name : {"", StoreConstants::kImportTimeRecordName}) {
        RecordParser parser(name, digest.get(), &cipher);
        std::vector<BYTE> payload;
        parser.SetTarget(&payload);
        std::vector<BYTE> in(data, data + size);
        try {
            parser.Parse(in);
        } catch (Data::IParser::_throws) {
        }
    }
    return 0;
}
