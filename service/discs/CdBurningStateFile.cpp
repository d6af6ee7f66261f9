#include "service/discs/CdBurningStateFile.h"

#include "core/crypto/CipherPair.h"
#include "core/store/CipherPairOps.h"

namespace {

const BYTE kCdBurningStateKey[16] = {0x71, 0xD4, 0xC8, 0xA2, 0xE6, 0x9B, 0x03, 0x5F,
                                     0x4C, 0x1E, 0x7A, 0x2D, 0x98, 0xB0, 0x6F, 0x34};

}  // namespace

CdBurningStateFile::CdBurningStateFile(const CString& path) : RecordFile(std::string(), path), ownCipher_(new CipherPair())
{
    // A key the cipher refuses leaves it unable to encipher, and Save then throws rather than
    // write plain text.
    KeyAesCbc(*ownCipher_, kCdBurningStateKey, sizeof kCdBurningStateKey);
    cipher_ = ownCipher_.get();
}

CdBurningStateFile::~CdBurningStateFile() = default;

void CdBurningStateFile::SaveValue(DWORD value)
{
    std::vector<BYTE> payload(4);
    for (int i = 0; i < 4; ++i) {
        payload[size_t(i)] = static_cast<BYTE>(value >> (8 * i));
    }
    Save(payload);
}

void CdBurningStateFile::SaveEmpty()
{
    Save(std::vector<BYTE>());
}
