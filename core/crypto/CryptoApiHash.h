#pragma once
//
//  MD2, MD4, MD5 or SHA-1 computed by the platform's CryptoAPI (Windows builds only).
//
//  Every CryptoAPI call is checked: after a failed call (acquiring the provider, creating the
//  hash, hashing data, reading the value) GetDigest answers false until an Init succeeds.
//
#include "core/crypto/HashAlgorithm.h"

#include <wincrypt.h>

class CryptoApiHash : public HashAlgorithm {
public:
    // digestSize is the algorithm's digest length: 16 for MD2, MD4 and MD5, 20 for SHA-1.
    CryptoApiHash(DWORD digestSize, ALG_ID algorithm);
    ~CryptoApiHash() override;

    void Init() override;
    void Update(const BYTE* data, size_t length) override;
    void Final() override;
    bool GetDigest(BYTE* out, size_t outLength) const override;
    size_t DigestSize() const override { return digestSize_; }

private:
    void DestroyHash();

    static constexpr DWORD kMaxDigestSize = 20;

    DWORD digestSize_;
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    ALG_ID algorithm_;
    BYTE digest_[kMaxDigestSize] = {};
    bool failed_ = false;
};
