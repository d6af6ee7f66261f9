#include "core/crypto/Crc16Hash.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        uint16_t value = static_cast<uint16_t>(n);
        for (int bit = 0; bit < 8; ++bit)
            value = static_cast<uint16_t>((value & 1) ? (value >> 1) ^ 0x8408 : value >> 1);
        table[n] = value;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

void Crc16Hash::Init()
{
    register_ = 0xFFFF;
    result_ = 0;
}

void Crc16Hash::Update(const BYTE* data, size_t length)
{
    uint16_t crc = register_;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    register_ = crc;
}

void Crc16Hash::Final()
{
    result_ = register_;
}

bool Crc16Hash::GetDigest(BYTE* out, size_t outLength) const
{
    if (outLength < DigestSize())
        return false;
    out[0] = static_cast<BYTE>(result_ >> 8);
    out[1] = static_cast<BYTE>(result_);
    return true;
}
