#include "core/crypto/CipherPair.h"

#include "core/crypto/AesCipher.h"

#include <new>

CipherPair::~CipherPair()
{
    cipher.reset();
    mode.reset();
}

int CreateAesCbcCipher(CipherPair& pair)
{
    std::unique_ptr<BlockCipher> cipher(new (std::nothrow) AesCipher);
    std::unique_ptr<CbcMode> mode(new (std::nothrow) CbcMode);
    if (!cipher || !mode)
        return kCipherOutOfMemory;
    pair.cipher = std::move(cipher);
    pair.mode = std::move(mode);
    return kCipherOk;
}
