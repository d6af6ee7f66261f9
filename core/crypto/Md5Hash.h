#pragma once
//
//  MD5 as in RFC 1321, digest in the standard byte order.
//
#include "core/crypto/HashAlgorithm.h"

#include <cstdint>

class Md5Hash : public HashAlgorithm {
public:
    Md5Hash();

    void Init() override;
    void Update(const BYTE* data, size_t length) override;
    void Final() override;
    bool GetDigest(BYTE* out, size_t outLength) const override;
    size_t DigestSize() const override { return sizeof(digest_); }

private:
    void Transform(const BYTE* block);

    uint32_t count_[2];  // message length in bits, low word first
    uint32_t state_[4];
    BYTE buffer_[64];
    BYTE digest_[16];
};

// Files written by earlier versions carry an MD5 over only the first (length mod 65536) bytes
// of their payload, since those versions counted an update's length in 16 bits. A reader that
// must accept such a file checks it against the digest of this many leading bytes; writers
// always digest the whole payload.
inline size_t LegacyTruncatedMd5Length(size_t length)
{
    return length & 0xFFFF;
}
