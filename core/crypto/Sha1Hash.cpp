#include "core/crypto/Sha1Hash.h"

#include <cstring>

namespace {

inline uint32_t LoadBe32(const BYTE* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBe32(BYTE* p, uint32_t value)
{
    p[0] = static_cast<BYTE>(value >> 24);
    p[1] = static_cast<BYTE>(value >> 16);
    p[2] = static_cast<BYTE>(value >> 8);
    p[3] = static_cast<BYTE>(value);
}

inline uint32_t Rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

}  // namespace

Sha1Hash::Sha1Hash()
{
    Init();
    std::memset(digest_, 0, sizeof(digest_));
}

void Sha1Hash::Init()
{
    intermediate_[0] = 0x67452301;
    intermediate_[1] = 0xEFCDAB89;
    intermediate_[2] = 0x98BADCFE;
    intermediate_[3] = 0x10325476;
    intermediate_[4] = 0xC3D2E1F0;
    lengthLow_ = 0;
    lengthHigh_ = 0;
    blockIndex_ = 0;
    std::memset(block_, 0, sizeof(block_));
    computed_ = false;
    corrupted_ = false;
}

void Sha1Hash::Update(const BYTE* data, size_t length)
{
    if (length == 0)
        return;
    if (computed_ || corrupted_) {
        corrupted_ = true;
        return;
    }

    const uint64_t oldBits = static_cast<uint64_t>(lengthHigh_) << 32 | lengthLow_;
    const uint64_t addBits = static_cast<uint64_t>(length) << 3;
    if ((static_cast<uint64_t>(length) >> 61) != 0 || oldBits + addBits < oldBits) {
        corrupted_ = true;  // the message would exceed the 64-bit length field
        return;
    }
    lengthLow_ = static_cast<uint32_t>(oldBits + addBits);
    lengthHigh_ = static_cast<uint32_t>((oldBits + addBits) >> 32);

    size_t consumed = 0;
    if (blockIndex_ != 0) {
        const size_t room = 64 - blockIndex_;
        if (length < room) {
            std::memcpy(block_ + blockIndex_, data, length);
            blockIndex_ = static_cast<uint16_t>(blockIndex_ + length);
            return;
        }
        std::memcpy(block_ + blockIndex_, data, room);
        ProcessBlock(block_);
        consumed = room;
    }
    for (; consumed + 64 <= length; consumed += 64)
        ProcessBlock(data + consumed);
    blockIndex_ = static_cast<uint16_t>(length - consumed);
    std::memcpy(block_, data + consumed, blockIndex_);
}

void Sha1Hash::Final()
{
    if (corrupted_ || computed_)
        return;

    block_[blockIndex_++] = 0x80;
    if (blockIndex_ > 56) {
        std::memset(block_ + blockIndex_, 0, 64 - blockIndex_);
        ProcessBlock(block_);
        blockIndex_ = 0;
    }
    std::memset(block_ + blockIndex_, 0, 56 - blockIndex_);
    StoreBe32(block_ + 56, lengthHigh_);
    StoreBe32(block_ + 60, lengthLow_);
    ProcessBlock(block_);

    for (int i = 0; i < 5; ++i)
        StoreBe32(digest_ + 4 * i, intermediate_[i]);

    // Nothing of the message stays behind in the context.
    std::memset(block_, 0, sizeof(block_));
    lengthLow_ = 0;
    lengthHigh_ = 0;
    blockIndex_ = 0;
    computed_ = true;
}

bool Sha1Hash::GetDigest(BYTE* out, size_t outLength) const
{
    if (outLength < DigestSize() || corrupted_)
        return false;
    std::memcpy(out, digest_, sizeof(digest_));
    return true;
}

void Sha1Hash::ProcessBlock(const BYTE* block)
{
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = LoadBe32(block + 4 * t);
    for (int t = 16; t < 80; ++t)
        w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    uint32_t a = intermediate_[0], b = intermediate_[1], c = intermediate_[2],
             d = intermediate_[3], e = intermediate_[4];

    auto round = [&](uint32_t f, uint32_t k, uint32_t wt) {
        const uint32_t temp = Rotl(a, 5) + f + e + wt + k;
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = temp;
    };
    for (int t = 0; t < 20; ++t)
        round((b & c) | (~b & d), 0x5A827999, w[t]);
    for (int t = 20; t < 40; ++t)
        round(b ^ c ^ d, 0x6ED9EBA1, w[t]);
    for (int t = 40; t < 60; ++t)
        round((b & c) | (b & d) | (c & d), 0x8F1BBCDC, w[t]);
    for (int t = 60; t < 80; ++t)
        round(b ^ c ^ d, 0xCA62C1D6, w[t]);

    intermediate_[0] += a;
    intermediate_[1] += b;
    intermediate_[2] += c;
    intermediate_[3] += d;
    intermediate_[4] += e;
}
