#pragma once
//
//  The hash family: one interface over every digest the system stores or compares, and the
//  factory that makes a member by its type number.
//
//  Calling order for one digest: Init, any number of Update, Final, then GetDigest as often as
//  wanted. A new digest begins with Init again. The objects own all their state.
//
#include "classlib/WinTypes.h"

#include <cstddef>

class HashAlgorithm {
public:
    virtual ~HashAlgorithm() = default;

    virtual void Init() = 0;
    virtual void Update(const BYTE* data, size_t length) = 0;
    virtual void Final() = 0;
    // False, copying nothing, when outLength is below DigestSize() or the digest could not be
    // computed; else copies DigestSize() bytes of the finished digest.
    virtual bool GetDigest(BYTE* out, size_t outLength) const = 0;
    virtual size_t DigestSize() const = 0;

protected:
    HashAlgorithm() = default;
    HashAlgorithm(const HashAlgorithm&) = delete;
    HashAlgorithm& operator=(const HashAlgorithm&) = delete;
};

// Type numbers of CreateHash. The platform members (4 to 7) exist on Windows only.
enum HashType : int {
    kHashCrc16 = 0,
    kHashCrc32 = 1,
    kHashMd5 = 2,
    kHashSha1 = 3,
    kHashPlatformMd2 = 4,
    kHashPlatformMd4 = 5,
    kHashPlatformMd5 = 6,
    kHashPlatformSha1 = 7,
};

// A new member that the caller owns, not yet initialised; null for a type this build has no
// member for (above 7, below 0, 4 to 7 outside Windows) and when memory runs out.
HashAlgorithm* CreateHash(int type);
