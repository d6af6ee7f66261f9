#pragma once
//
//  Cipher block chaining over a BlockCipher.
//
//  The mode is not bound to a cipher: each call names the cipher whose block length and block
//  operation it uses. The chain carries over from one call to the next until Reset or SetIV,
//  so a message may be enciphered in pieces of whole blocks.
//
//  Input and output of Encrypt and Decrypt are the same buffer or do not overlap at all.
//
#include "core/crypto/BlockCipher.h"

#include <cstddef>

class CbcMode {
public:
    // The largest block the mode chains; AES blocks are 16 bytes.
    static constexpr int kMaxBlockLength = 16;

    CbcMode() = default;
    virtual ~CbcMode();

    // Sets the IV: ivLength bytes of iv followed by zero bytes up to the cipher's block length
    // (a null iv of length 0 gives an all-zero IV), and starts a new chain. 5 when the IV is
    // longer than the block; 7 when the cipher has no usable block length or iv is null but
    // given a length. A refused IV changes nothing.
    virtual int SetIV(const BlockCipher& cipher, const BYTE* iv, size_t ivLength);
    // Starts a new chain from the IV.
    virtual void Reset(const BlockCipher& cipher);
    // length must be a multiple of the cipher's block (6 otherwise) and SetIV must have run for
    // that block length (7 otherwise); both leave the output and the chain alone. A block the
    // cipher refuses stops the run, resets the chain and returns the cipher's code.
    virtual int Encrypt(const BlockCipher& cipher, const BYTE* in, BYTE* out, size_t length);
    virtual int Decrypt(const BlockCipher& cipher, const BYTE* in, BYTE* out, size_t length);

private:
    CbcMode(const CbcMode&) = delete;
    CbcMode& operator=(const CbcMode&) = delete;

    int CheckRun(const BlockCipher& cipher, size_t length) const;
    void Wipe();

    int blockLength_ = 0;  // 0 until SetIV has run
    BYTE iv_[kMaxBlockLength] = {};
    BYTE chain_[kMaxBlockLength] = {};
};
