#include "core/store/CipherPairOps.h"

#include "core/crypto/CipherPair.h"

int KeyAesCbc(CipherPair& pair, const BYTE* key, DWORD keyLength)
{
    int result = CreateAesCbcCipher(pair);
    if (result != 0) {
        return result;
    }
    result = pair.cipher->SetKey(key, static_cast<int>(keyLength), static_cast<int>(kRecordBlockSize));
    if (result == 0) {
        result = pair.mode->SetIV(*pair.cipher, nullptr, 0);
    }
    return result;
}

int EncryptWhole(CipherPair& pair, BYTE* data, DWORD length)
{
    if (pair.cipher == nullptr || pair.mode == nullptr) {
        return -1;
    }
    pair.mode->Reset(*pair.cipher);
    return length == 0 ? 0 : pair.mode->Encrypt(*pair.cipher, data, data, length);
}

int DecryptWhole(CipherPair& pair, BYTE* data, DWORD length)
{
    if (pair.cipher == nullptr || pair.mode == nullptr) {
        return -1;
    }
    pair.mode->Reset(*pair.cipher);
    return length == 0 ? 0 : pair.mode->Decrypt(*pair.cipher, data, data, length);
}
