#pragma once
//
//  The cipher and chaining mode that an encrypted item keeps together, and the factory that
//  fills a holder with AES in CBC mode.
//
#include "core/crypto/BlockCipher.h"
#include "core/crypto/CbcMode.h"

#include <memory>

class CipherPair {
public:
    CipherPair() = default;
    virtual ~CipherPair();

    CipherPair(const CipherPair&) = delete;
    CipherPair& operator=(const CipherPair&) = delete;

    std::unique_ptr<BlockCipher> cipher;
    std::unique_ptr<CbcMode> mode;
};

// Creates an AesCipher and a CbcMode into the pair: 0, or 0x10003 when memory runs out, in
// which case the pair is left as it was.
int CreateAesCbcCipher(CipherPair& pair);
