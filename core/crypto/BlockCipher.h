#pragma once
//
//  The block cipher interface of the encrypted items, and the result codes that the cipher, the
//  chaining mode and the cipher holder share. No operation throws.
//
#include "classlib/WinTypes.h"

enum CipherResult : int {
    kCipherOk = 0,
    kCipherBadKeyLength = 3,               // SetKey: key absent or not 16, 24 or 32 bytes
    kCipherBadBlockLength = 4,             // SetKey: block length other than 16
    kCipherIvTooLong = 5,                  // SetIV: IV longer than the cipher's block
    kCipherLengthNotBlockMultiple = 6,     // Encrypt/Decrypt: length not a multiple of the block
    kCipherNoIv = 7,                       // Encrypt/Decrypt: no IV set for the cipher's block;
                                           // SetIV: the cipher has no usable block length yet,
                                           // or the IV is null but given a length
    kCipherNoEncryptionKey = 0x100,        // EncryptBlock without an encryption schedule
    kCipherNoDecryptionKey = 0x101,        // DecryptBlock without a decryption schedule
    kCipherKeyExpansionFailed = 0x102,     // SetKey: a key schedule could not be expanded
    kCipherOutOfMemory = 0x10003,          // CreateAesCbcCipher: out of memory
};

class BlockCipher {
public:
    virtual ~BlockCipher() = default;

    virtual int SetKey(const BYTE* key, int keyLength, int blockLength) = 0;
    // One block; input and output may be the same buffer.
    virtual int EncryptBlock(const BYTE* in, BYTE* out) const = 0;
    virtual int DecryptBlock(const BYTE* in, BYTE* out) const = 0;
    // The block length last given to SetKey (0 before); the chaining mode works in blocks of it.
    virtual int BlockLength() const = 0;

protected:
    BlockCipher() = default;
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;
};
