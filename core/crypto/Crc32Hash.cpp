#include "core/crypto/Crc32Hash.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[n] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

void Crc32Hash::Init()
{
    register_ = 0xFFFFFFFFu;
    result_ = 0;
}

void Crc32Hash::Update(const BYTE* data, size_t length)
{
    uint32_t crc = register_;
    for (size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF];
    register_ = crc;
}

void Crc32Hash::Final()
{
    register_ = ~register_;
    result_ = register_;
}

bool Crc32Hash::GetDigest(BYTE* out, size_t outLength) const
{
    if (outLength < DigestSize())
        return false;
    out[0] = static_cast<BYTE>(result_ >> 24);
    out[1] = static_cast<BYTE>(result_ >> 16);
    out[2] = static_cast<BYTE>(result_ >> 8);
    out[3] = static_cast<BYTE>(result_);
    return true;
}
