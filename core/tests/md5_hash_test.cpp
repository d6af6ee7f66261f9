#include "core/crypto/Md5Hash.h"
#include "core/tests/hash_test_util.h"

#include <gtest/gtest.h>

TEST(Md5Hash, Rfc1321TestSuite)
{
    const struct {
        std::string text;
        std::string digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DigestHex(kHashMd5, c.text), c.digest) << "\"" << c.text << "\"";
}

TEST(Md5Hash, PaddingBoundaries)
{
    // 55, 56 and 64 bytes put the length field into the same, the next and a fresh block.
    EXPECT_EQ(DigestHex(kHashMd5, std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(DigestHex(kHashMd5, std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(DigestHex(kHashMd5, std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(Md5Hash, DigestsTheWholeBufferBeyond64KiB)
{
    // Reference digests computed independently of this code.
    const std::vector<BYTE> data = PatternBytes(200003);
    const struct {
        size_t length;
        std::string digest;
    } cases[] = {
        {65535, "70a2002bd59609d66effc9f59e27e0a7"},
        {65536, "55f3da07043d8f6f30808f9309120b1d"},
        {65537, "8bbe2ba9b420c53493027ed87dbc57c8"},
        {200003, "71ea1a2345bc501090ed0f67ced13f5e"},
    };
    for (const auto& c : cases) {
        Md5Hash hash;
        EXPECT_EQ(DigestHex(hash, data.data(), c.length), c.digest) << c.length << " bytes";
    }
    EXPECT_EQ(DigestHex(kHashMd5, std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5Hash, SmallPiecesGiveTheDigestOfOneUpdate)
{
    const std::vector<BYTE> data = PatternBytes(150001);
    Md5Hash whole;
    const std::string expected = DigestHex(whole, data.data(), data.size());

    for (size_t pieceSize : {1u, 63u, 64u, 65u, 4099u, 65535u, 65536u}) {
        Md5Hash hash;
        hash.Init();
        for (size_t offset = 0; offset < data.size(); offset += pieceSize)
            hash.Update(data.data() + offset, std::min(pieceSize, data.size() - offset));
        hash.Final();
        BYTE digest[16];
        ASSERT_TRUE(hash.GetDigest(digest, sizeof(digest)));
        EXPECT_EQ(Hex(digest, sizeof(digest)), expected) << "pieces of " << pieceSize;
    }
}

TEST(Md5Hash, LegacyLengthReproducesDigestsOfEarlierVersions)
{
    EXPECT_EQ(LegacyTruncatedMd5Length(0), 0u);
    EXPECT_EQ(LegacyTruncatedMd5Length(65535), 65535u);
    EXPECT_EQ(LegacyTruncatedMd5Length(65536), 0u);
    EXPECT_EQ(LegacyTruncatedMd5Length(65537), 1u);
    EXPECT_EQ(LegacyTruncatedMd5Length(200003), 200003u - 3 * 65536u);

    // Earlier versions digested a 65537-byte payload as its first byte alone, and a payload of
    // exactly 64 KiB as no bytes at all.
    const std::vector<BYTE> data = PatternBytes(65537);
    Md5Hash legacy;
    EXPECT_EQ(DigestHex(legacy, data.data(), LegacyTruncatedMd5Length(data.size())),
              "8666683506aacd900bbd5a74ac4edf68");
    EXPECT_EQ(DigestHex(legacy, data.data(), LegacyTruncatedMd5Length(65536)),
              "d41d8cd98f00b204e9800998ecf8427e");
}
