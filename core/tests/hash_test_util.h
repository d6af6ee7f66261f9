#pragma once
//
//  Runs one whole digest of a hash family member, the way the digest session drives it.
//
#include "core/crypto/HashAlgorithm.h"
#include "core/tests/crypto_hex.h"

#include <memory>
#include <string>
#include <vector>

inline std::string DigestHex(HashAlgorithm& hash, const BYTE* data, size_t length)
{
    hash.Init();
    hash.Update(data, length);
    hash.Final();
    std::vector<BYTE> digest(hash.DigestSize());
    if (!hash.GetDigest(digest.data(), digest.size()))
        return "(no digest)";
    return Hex(digest);
}

inline std::string DigestHex(int type, const std::vector<BYTE>& data)
{
    std::unique_ptr<HashAlgorithm> hash(CreateHash(type));
    if (!hash)
        return "(no hash)";
    return DigestHex(*hash, data.data(), data.size());
}

inline std::string DigestHex(int type, const std::string& text)
{
    return DigestHex(type, TextBytes(text));
}
