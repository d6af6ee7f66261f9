#pragma once
//
//  Hex text for the crypto tests' published vectors.
//
#include "classlib/WinTypes.h"

#include <cstddef>
#include <string>
#include <vector>

inline std::vector<BYTE> HexBytes(const std::string& hex)
{
    std::vector<BYTE> bytes;
    auto nibble = [](char c) {
        return static_cast<BYTE>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    };
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    return bytes;
}

inline std::string Hex(const BYTE* data, size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0xF];
    }
    return text;
}

inline std::string Hex(const std::vector<BYTE>& bytes)
{
    return Hex(bytes.data(), bytes.size());
}

inline std::vector<BYTE> TextBytes(const std::string& text)
{
    return std::vector<BYTE>(text.begin(), text.end());
}

// A payload whose bytes differ from their neighbours and repeat only after 256 bytes.
inline std::vector<BYTE> PatternBytes(size_t length)
{
    std::vector<BYTE> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}
