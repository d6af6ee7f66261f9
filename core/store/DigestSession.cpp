#include "core/store/DigestSession.h"

#include "core/crypto/HashAlgorithm.h"
#include "core/crypto/Md5Hash.h"

#include <algorithm>

DigestSession::DigestSession(HashAlgorithm* hash) : hash_(hash)
{
    if (hash_) {
        hash_->Init();
    }
}

DigestSession::~DigestSession() = default;

void DigestSession::Reset()
{
    if (hash_) {
        hash_->Init();
    }
    state_ = fresh;
}

void DigestSession::Update(const BYTE* data, DWORD length)
{
    if (state_ != updating) {
        Reset();
    }
    if (hash_) {
        hash_->Update(data, length);
    }
    state_ = updating;
}

void DigestSession::Finalize()
{
    if (state_ != updating) {
        Reset();
    }
    if (hash_) {
        hash_->Final();
    }
    state_ = finalised;
}

bool DigestSession::GetDigest(BYTE* out, DWORD length)
{
    if (state_ != finalised) {
        Finalize();
    }
    return hash_ && hash_->GetDigest(out, length);
}

DWORD DigestSession::GetDigestSize() const
{
    return hash_ ? static_cast<DWORD>(hash_->DigestSize()) : 0;
}

std::unique_ptr<DigestSession> CreateMd5DigestSession()
{
    return std::unique_ptr<DigestSession>(new DigestSession(CreateHash(kHashMd5)));
}

bool ComputePayloadDigest(DigestSession& digest, const BYTE* payload, DWORD length, BYTE* out, DWORD outLength)
{
    digest.Reset();
    if (length != 0) {
        digest.Update(payload, length);
    }
    digest.Finalize();
    return digest.GetDigest(out, outLength);
}

bool PayloadDigestMatches(DigestSession& digest, const BYTE* payload, DWORD length, const BYTE* stored)
{
    const DWORD size = digest.GetDigestSize();
    std::unique_ptr<BYTE[]> computed(new BYTE[size == 0 ? 1 : size]);
    if (!ComputePayloadDigest(digest, payload, length, computed.get(), size)) {
        return false;
    }
    if (std::equal(computed.get(), computed.get() + size, stored)) {
        return true;
    }
    const DWORD legacyLength = static_cast<DWORD>(LegacyTruncatedMd5Length(length));
    if (length < 65536u || !ComputePayloadDigest(digest, payload, legacyLength, computed.get(), size)) {
        return false;
    }
    return std::equal(computed.get(), computed.get() + size, stored);
}
