#include "core/crypto/Sha1Hash.h"
#include "core/tests/hash_test_util.h"

#include <gtest/gtest.h>

namespace {

std::string Repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

}  // namespace

TEST(Sha1Hash, Fips180AndRfc3174Vectors)
{
    const struct {
        std::string text;
        std::string digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {Repeat("0123456701234567012345670123456701234567012345670123456701234567", 10),
         "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DigestHex(kHashSha1, c.text), c.digest) << c.text.size() << " bytes";
}

TEST(Sha1Hash, MillionAFedInPiecesOfTen)
{
    // The way RFC 3174 feeds its third test: the same digest whatever the pieces.
    Sha1Hash hash;
    hash.Init();
    const std::string piece = "aaaaaaaaaa";
    for (int i = 0; i < 100000; ++i)
        hash.Update(reinterpret_cast<const BYTE*>(piece.data()), piece.size());
    hash.Final();
    BYTE digest[20];
    ASSERT_TRUE(hash.GetDigest(digest, sizeof(digest)));
    EXPECT_EQ(Hex(digest, sizeof(digest)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1Hash, DigestsTheWholeBufferBeyond64KiB)
{
    const std::vector<BYTE> data = PatternBytes(65537);
    Sha1Hash hash;
    EXPECT_EQ(DigestHex(hash, data.data(), data.size()), "445ae28c60d5dd584606c8f399c2ae4581279c7a");
}

TEST(Sha1Hash, UpdateAfterFinalYieldsNoDigestUntilInit)
{
    Sha1Hash hash;
    DigestHex(hash, reinterpret_cast<const BYTE*>("abc"), 3);

    hash.Update(reinterpret_cast<const BYTE*>("more"), 4);
    hash.Final();
    BYTE digest[20];
    EXPECT_FALSE(hash.GetDigest(digest, sizeof(digest)))
        << "the digest of \"abc\" must not pass for a digest that includes \"more\"";

    EXPECT_EQ(DigestHex(hash, reinterpret_cast<const BYTE*>("abc"), 3),
              "a9993e364706816aba3e25717850c26c9cd0d89d");
}
