#pragma once
//
//  One digest at a time over a hash of the hash family, with the calls kept in their order
//  whatever order the caller uses. Every stored item and record file digests its payload
//  through a session over MD5.
//
#include "classlib/WinTypes.h"

#include <memory>

class HashAlgorithm;

class DigestSession {
public:
    enum State { fresh = 0, updating = 1, finalised = 2 };

    // Takes ownership of hash (which may be null: every operation then does nothing and
    // GetDigest fails).
    explicit DigestSession(HashAlgorithm* hash);
    DigestSession(const DigestSession&) = delete;
    DigestSession& operator=(const DigestSession&) = delete;
    virtual ~DigestSession();

    virtual void Reset();
    virtual void Update(const BYTE* data, DWORD length);
    virtual void Finalize();
    // False when there is no hash or length is below the digest size.
    virtual bool GetDigest(BYTE* out, DWORD length);
    virtual DWORD GetDigestSize() const;

    State GetState() const { return state_; }

private:
    std::unique_ptr<HashAlgorithm> hash_;
    State state_ = fresh;
};

// A session over MD5, as every stored item uses.
std::unique_ptr<DigestSession> CreateMd5DigestSession();

// The digest of a payload as writers store it: the standard digest of all its bytes.
// False when the session cannot give a digest.
bool ComputePayloadDigest(DigestSession& digest, const BYTE* payload, DWORD length, BYTE* out, DWORD outLength);

// Whether stored (GetDigestSize bytes) is the digest of payload. Earlier versions digested a
// payload of 64 KiB or more over its first (length mod 65536) bytes only; that digest is
// accepted too, so their files still load.
bool PayloadDigestMatches(DigestSession& digest, const BYTE* payload, DWORD length, const BYTE* stored);
