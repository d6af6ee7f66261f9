#include "core/crypto/HashAlgorithm.h"

#include "core/crypto/Crc16Hash.h"
#include "core/crypto/Crc32Hash.h"
#include "core/crypto/Md5Hash.h"
#include "core/crypto/Sha1Hash.h"
#ifdef _WIN32
#include "core/crypto/CryptoApiHash.h"
#endif

#include <new>

HashAlgorithm* CreateHash(int type)
{
    switch (type) {
    case kHashCrc16:
        return new (std::nothrow) Crc16Hash;
    case kHashCrc32:
        return new (std::nothrow) Crc32Hash;
    case kHashMd5:
        return new (std::nothrow) Md5Hash;
    case kHashSha1:
        return new (std::nothrow) Sha1Hash;
#ifdef _WIN32
    case kHashPlatformMd2:
        return new (std::nothrow) CryptoApiHash(16, CALG_MD2);
    case kHashPlatformMd4:
        return new (std::nothrow) CryptoApiHash(16, CALG_MD4);
    case kHashPlatformMd5:
        return new (std::nothrow) CryptoApiHash(16, CALG_MD5);
    case kHashPlatformSha1:
        return new (std::nothrow) CryptoApiHash(20, CALG_SHA1);
#endif
    default:
        return nullptr;
    }
}
