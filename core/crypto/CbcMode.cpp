#include "core/crypto/CbcMode.h"

#include <cstdint>
#include <cstring>

namespace {

// a ^= b over one block, eight bytes at a time where the block allows.
inline void XorBlock(BYTE* a, const BYTE* b, size_t length)
{
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(a + i, &x, 8);
    }
    for (; i < length; ++i)
        a[i] ^= b[i];
}

}  // namespace

CbcMode::~CbcMode()
{
    Wipe();
}

void CbcMode::Wipe()
{
    volatile BYTE* iv = iv_;
    volatile BYTE* chain = chain_;
    for (int i = 0; i < kMaxBlockLength; ++i) {
        iv[i] = 0;
        chain[i] = 0;
    }
}

int CbcMode::SetIV(const BlockCipher& cipher, const BYTE* iv, size_t ivLength)
{
    const int blockLength = cipher.BlockLength();
    if (blockLength <= 0 || blockLength > kMaxBlockLength)
        return kCipherNoIv;
    if (ivLength > static_cast<size_t>(blockLength))
        return kCipherIvTooLong;
    if (iv == nullptr && ivLength != 0)
        return kCipherNoIv;

    Wipe();
    blockLength_ = blockLength;
    if (ivLength != 0)
        std::memcpy(iv_, iv, ivLength);
    std::memcpy(chain_, iv_, kMaxBlockLength);
    return kCipherOk;
}

void CbcMode::Reset(const BlockCipher&)
{
    std::memcpy(chain_, iv_, kMaxBlockLength);
}

int CbcMode::CheckRun(const BlockCipher& cipher, size_t length) const
{
    if (blockLength_ == 0 || cipher.BlockLength() != blockLength_)
        return kCipherNoIv;
    if (length % static_cast<size_t>(blockLength_) != 0)
        return kCipherLengthNotBlockMultiple;
    return kCipherOk;
}

int CbcMode::Encrypt(const BlockCipher& cipher, const BYTE* in, BYTE* out, size_t length)
{
    const int check = CheckRun(cipher, length);
    if (check != kCipherOk)
        return check;

    const size_t block = static_cast<size_t>(blockLength_);
    // Each input block is read into the chain before its output block is written, so the same
    // buffer may serve as input and output.
    for (size_t offset = 0; offset < length; offset += block) {
        XorBlock(chain_, in + offset, block);
        const int result = cipher.EncryptBlock(chain_, chain_);
        if (result != kCipherOk) {
            Reset(cipher);
            return result;
        }
        std::memcpy(out + offset, chain_, block);
    }
    return kCipherOk;
}

int CbcMode::Decrypt(const BlockCipher& cipher, const BYTE* in, BYTE* out, size_t length)
{
    const int check = CheckRun(cipher, length);
    if (check != kCipherOk)
        return check;

    const size_t block = static_cast<size_t>(blockLength_);
    BYTE cipherText[kMaxBlockLength];
    BYTE plain[kMaxBlockLength];
    // The input block is kept aside before the output is written, for the same reason.
    for (size_t offset = 0; offset < length; offset += block) {
        std::memcpy(cipherText, in + offset, block);
        const int result = cipher.DecryptBlock(cipherText, plain);
        if (result != kCipherOk) {
            Reset(cipher);
            return result;
        }
        XorBlock(plain, chain_, block);
        std::memcpy(out + offset, plain, block);
        std::memcpy(chain_, cipherText, block);
    }
    return kCipherOk;
}
