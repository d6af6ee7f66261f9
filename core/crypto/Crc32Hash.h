#pragma once
//
//  CRC-32 of zlib and Ethernet: reflected polynomial 0xEDB88320, initial 0xFFFFFFFF, final
//  complement. The digest is written most significant byte first.
//
#include "core/crypto/HashAlgorithm.h"

#include <cstdint>

class Crc32Hash : public HashAlgorithm {
public:
    void Init() override;
    void Update(const BYTE* data, size_t length) override;
    void Final() override;
    bool GetDigest(BYTE* out, size_t outLength) const override;
    size_t DigestSize() const override { return 4; }

private:
    uint32_t register_ = 0;
    uint32_t result_ = 0;
};
