#include "core/crypto/HashAlgorithm.h"
#include "core/tests/hash_test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::string kCheckText = "123456789";

std::vector<int> MembersOfThisBuild()
{
#ifdef _WIN32
    return {0, 1, 2, 3, 4, 5, 6, 7};
#else
    return {0, 1, 2, 3};
#endif
}

}  // namespace

TEST(HashFamily, MembersHaveTheirDigestSizes)
{
    const struct {
        int type;
        size_t size;
    } cases[] = {{0, 2}, {1, 4}, {2, 16}, {3, 20}, {4, 16}, {5, 16}, {6, 16}, {7, 20}};
    for (const auto& c : cases) {
        std::unique_ptr<HashAlgorithm> hash(CreateHash(c.type));
#ifndef _WIN32
        if (c.type >= 4) {
            EXPECT_EQ(hash, nullptr) << "type " << c.type;
            continue;
        }
#endif
        ASSERT_NE(hash, nullptr) << "type " << c.type;
        EXPECT_EQ(hash->DigestSize(), c.size) << "type " << c.type;
    }
}

TEST(HashFamily, TypeOutsideTheFamilyHasNoHash)
{
    for (int type : {-1, 8, 9, 255, 0x7FFFFFFF})
        EXPECT_EQ(CreateHash(type), nullptr) << "type " << type;
}

TEST(HashFamily, CatalogueCheckValues)
{
    const struct {
        int type;
        std::string text;
        std::string digest;
    } cases[] = {
        {kHashCrc16, "", "ffff"},
        {kHashCrc16, kCheckText, "6f91"},
        {kHashCrc32, "", "00000000"},
        {kHashCrc32, kCheckText, "cbf43926"},
        {kHashCrc32, "The quick brown fox jumps over the lazy dog", "414fa339"},
        {kHashMd5, kCheckText, "25f9e794323b453885f5181f1b624d0b"},
        {kHashSha1, kCheckText, "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DigestHex(c.type, c.text), c.digest) << "type " << c.type << " over \"" << c.text << "\"";
}

TEST(HashFamily, CrcOverPiecesEqualsCrcOverWhole)
{
    const std::vector<BYTE> data = PatternBytes(70000);
    for (int type : {kHashCrc16, kHashCrc32}) {
        std::unique_ptr<HashAlgorithm> hash(CreateHash(type));
        ASSERT_NE(hash, nullptr);
        const std::string whole = DigestHex(*hash, data.data(), data.size());
        hash->Init();
        for (size_t offset = 0, piece = 1; offset < data.size(); offset += piece, piece = piece * 3 % 1009 + 1)
            hash->Update(data.data() + offset, std::min(piece, data.size() - offset));
        hash->Final();
        BYTE digest[4] = {};
        ASSERT_TRUE(hash->GetDigest(digest, sizeof(digest)));
        EXPECT_EQ(Hex(digest, hash->DigestSize()), whole) << "type " << type;
    }
    EXPECT_EQ(DigestHex(kHashCrc32, std::vector<BYTE>(data.begin(), data.begin() + 65537)), "3201663c");
}

TEST(HashFamily, ShortOutputBufferGetsNothing)
{
    for (int type : MembersOfThisBuild()) {
        std::unique_ptr<HashAlgorithm> hash(CreateHash(type));
        ASSERT_NE(hash, nullptr);
        const std::vector<BYTE> data = TextBytes(kCheckText);
        hash->Init();
        hash->Update(data.data(), data.size());
        hash->Final();

        std::vector<BYTE> out(hash->DigestSize() + 1, 0xEE);
        EXPECT_FALSE(hash->GetDigest(out.data(), hash->DigestSize() - 1)) << "type " << type;
        EXPECT_EQ(out, std::vector<BYTE>(out.size(), 0xEE)) << "type " << type;
        EXPECT_TRUE(hash->GetDigest(out.data(), hash->DigestSize())) << "type " << type;
        EXPECT_EQ(out.back(), 0xEE) << "type " << type << " wrote past its digest";
    }
}

TEST(HashFamily, InitAfterFinalStartsACleanDigest)
{
    const std::vector<BYTE> first = TextBytes("first message, long enough to leave bytes in a block");
    const std::vector<BYTE> second = TextBytes(kCheckText);
    for (int type : MembersOfThisBuild()) {
        std::unique_ptr<HashAlgorithm> fresh(CreateHash(type));
        std::unique_ptr<HashAlgorithm> reused(CreateHash(type));
        ASSERT_NE(fresh, nullptr);
        ASSERT_NE(reused, nullptr);
        DigestHex(*reused, first.data(), first.size());
        EXPECT_EQ(DigestHex(*reused, second.data(), second.size()),
                  DigestHex(*fresh, second.data(), second.size()))
            << "type " << type;
    }
}

