#pragma once
//
//  CRC-16/MCRF4XX: polynomial 0x1021 bit-reflected, initial 0xFFFF, no final XOR.
//  The digest is written most significant byte first.
//
#include "core/crypto/HashAlgorithm.h"

#include <cstdint>

class Crc16Hash : public HashAlgorithm {
public:
    void Init() override;
    void Update(const BYTE* data, size_t length) override;
    void Final() override;
    bool GetDigest(BYTE* out, size_t outLength) const override;
    size_t DigestSize() const override { return 2; }

private:
    uint16_t register_ = 0;
    uint16_t result_ = 0;
};
