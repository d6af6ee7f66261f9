#include "core/crypto/CryptoApiHash.h"
#include "core/tests/hash_test_util.h"

#include <gtest/gtest.h>

namespace {

const std::string kRfcSuite[] = {
    "",
    "a",
    "abc",
    "message digest",
    "abcdefghijklmnopqrstuvwxyz",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
};

}  // namespace

TEST(CryptoApiHash, Md2Rfc1319TestSuite)
{
    const std::string digests[] = {
        "8350e5a3e24c153df2275c9f80692773", "32ec01ec4a6dac72c0ab96fb34c0b5d1",
        "da853b0d3f88d99b30283a69e6ded6bb", "ab4f496bfb2a530b219ff33031fe06b0",
        "4e8ddff3650292ab5a4108c3aa47940b", "da33def2a42df13975352846c30338cd",
        "d5976f79d83d3a0dc9806c3c66f3efd8",
    };
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(DigestHex(kHashPlatformMd2, kRfcSuite[i]), digests[i]) << "\"" << kRfcSuite[i] << "\"";
}

TEST(CryptoApiHash, Md4Rfc1320TestSuite)
{
    const std::string digests[] = {
        "31d6cfe0d16ae931b73c59d7e0c089c0", "bde52cb31de33e46245e05fbdbd6fb24",
        "a448017aaf21d8525fc10ae87aa6729d", "d9130a8164549fe818874806e1c7014b",
        "d79e1c308aa5bbcdeea8ed63df412da9", "043f8582f241db351ce627e153e7f0e4",
        "e33b4ddc9c38f2199c3e7b164fcc0536",
    };
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(DigestHex(kHashPlatformMd4, kRfcSuite[i]), digests[i]) << "\"" << kRfcSuite[i] << "\"";
}

TEST(CryptoApiHash, Md5AndSha1AgreeWithTheOwnMembers)
{
    for (const std::string& text : kRfcSuite) {
        EXPECT_EQ(DigestHex(kHashPlatformMd5, text), DigestHex(kHashMd5, text)) << "\"" << text << "\"";
        EXPECT_EQ(DigestHex(kHashPlatformSha1, text), DigestHex(kHashSha1, text)) << "\"" << text << "\"";
    }
    EXPECT_EQ(DigestHex(kHashPlatformMd5, "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestHex(kHashPlatformSha1, "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");

    // The platform digests the whole of a buffer beyond 64 KiB, as the own MD5 must.
    const std::vector<BYTE> large = PatternBytes(200003);
    EXPECT_EQ(DigestHex(kHashPlatformMd5, large), "71ea1a2345bc501090ed0f67ced13f5e");
    EXPECT_EQ(DigestHex(kHashPlatformMd5, large), DigestHex(kHashMd5, large));
}

TEST(CryptoApiHash, FailedCallYieldsNoDigestUntilInitSucceeds)
{
    CryptoApiHash hash(16, CALG_MD5);
    const BYTE* abc = reinterpret_cast<const BYTE*>("abc");
    ASSERT_EQ(DigestHex(hash, abc, 3), "900150983cd24fb0d6963f7d28e17f72");

    // Final released the hash object: reading its value again fails in CryptoAPI.
    BYTE digest[16];
    hash.Final();
    EXPECT_FALSE(hash.GetDigest(digest, sizeof(digest)));

    // Feeding it after Final fails the same way, although that Final had succeeded.
    hash.Init();
    hash.Final();
    hash.Update(abc, 3);
    EXPECT_FALSE(hash.GetDigest(digest, sizeof(digest)));

    hash.Init();
    hash.Update(abc, 3);
    hash.Final();
    ASSERT_TRUE(hash.GetDigest(digest, sizeof(digest)));
    EXPECT_EQ(Hex(digest, sizeof(digest)), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(CryptoApiHash, UnknownAlgorithmYieldsNoDigest)
{
    CryptoApiHash hash(16, 0x7FFF);
    hash.Init();
    hash.Update(reinterpret_cast<const BYTE*>("abc"), 3);
    hash.Final();
    BYTE digest[16];
    EXPECT_FALSE(hash.GetDigest(digest, sizeof(digest)));
}
