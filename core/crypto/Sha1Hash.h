#pragma once
//
//  SHA-1 as in FIPS 180-1 (RFC 3174), digest in the standard byte order.
//
//  Feeding a finished digest without a new Init, or more than 2^64 - 1 bits, marks the context
//  as failed: Final then leaves the digest area alone and GetDigest answers false until Init.
//
#include "core/crypto/HashAlgorithm.h"

#include <cstdint>

class Sha1Hash : public HashAlgorithm {
public:
    Sha1Hash();

    void Init() override;
    void Update(const BYTE* data, size_t length) override;
    void Final() override;
    bool GetDigest(BYTE* out, size_t outLength) const override;
    size_t DigestSize() const override { return sizeof(digest_); }

private:
    void ProcessBlock(const BYTE* block);

    uint32_t intermediate_[5];
    uint32_t lengthLow_;   // message length in bits
    uint32_t lengthHigh_;
    uint16_t blockIndex_;
    BYTE block_[64];
    bool computed_;
    bool corrupted_;
    BYTE digest_[20];
};
