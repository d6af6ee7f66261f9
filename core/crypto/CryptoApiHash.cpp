#include "core/crypto/CryptoApiHash.h"

#include <cstring>

CryptoApiHash::CryptoApiHash(DWORD digestSize, ALG_ID algorithm)
    : digestSize_(digestSize <= kMaxDigestSize ? digestSize : kMaxDigestSize), algorithm_(algorithm)
{
    // A verify-only context needs no key container, so no user profile or key file is touched.
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET)) {
        provider_ = 0;
        failed_ = true;
    }
}

CryptoApiHash::~CryptoApiHash()
{
    DestroyHash();
    if (provider_ != 0)
        CryptReleaseContext(provider_, 0);
}

void CryptoApiHash::DestroyHash()
{
    if (hash_ != 0) {
        CryptDestroyHash(hash_);
        hash_ = 0;
    }
}

void CryptoApiHash::Init()
{
    DestroyHash();
    failed_ = provider_ == 0 || !CryptCreateHash(provider_, algorithm_, 0, 0, &hash_);
    if (failed_)
        hash_ = 0;
}

void CryptoApiHash::Update(const BYTE* data, size_t length)
{
    // CryptHashData counts in 32 bits; a larger buffer goes in slices.
    while (length > 0) {
        const DWORD slice = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        if (hash_ == 0 || !CryptHashData(hash_, data, slice, 0)) {
            failed_ = true;
            return;
        }
        data += slice;
        length -= slice;
    }
}

void CryptoApiHash::Final()
{
    DWORD size = digestSize_;
    if (hash_ == 0 || !CryptGetHashParam(hash_, HP_HASHVAL, digest_, &size, 0) ||
        size != digestSize_)
        failed_ = true;
    DestroyHash();
}

bool CryptoApiHash::GetDigest(BYTE* out, size_t outLength) const
{
    if (outLength < digestSize_ || failed_)
        return false;
    std::memcpy(out, digest_, digestSize_);
    return true;
}
