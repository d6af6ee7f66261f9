#include "core/store/DigestSession.h"

#include "core/crypto/HashAlgorithm.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::vector<BYTE> kMd5OfAbc = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                     0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};

std::vector<BYTE> Digest(DigestSession& session)
{
    std::vector<BYTE> out(session.GetDigestSize());
    EXPECT_TRUE(session.GetDigest(out.data(), static_cast<DWORD>(out.size())));
    return out;
}

}  // namespace

TEST(DigestSession, KeepsItsStatesWhateverTheCallOrder)
{
    std::unique_ptr<DigestSession> session = CreateMd5DigestSession();
    ASSERT_EQ(session->GetDigestSize(), 16u);
    EXPECT_EQ(session->GetState(), DigestSession::fresh);

    const BYTE abc[] = {'a', 'b', 'c'};
    session->Update(abc, 3);
    EXPECT_EQ(session->GetState(), DigestSession::updating);
    EXPECT_EQ(Digest(*session), kMd5OfAbc);  // finalises on the way
    EXPECT_EQ(session->GetState(), DigestSession::finalised);

    // An update after the end starts a new digest.
    session->Update(abc, 1);
    session->Update(abc + 1, 2);
    EXPECT_EQ(Digest(*session), kMd5OfAbc);
    EXPECT_EQ(Digest(*session), kMd5OfAbc);
}

TEST(DigestSession, ShortOutputFails)
{
    std::unique_ptr<DigestSession> session = CreateMd5DigestSession();
    BYTE out[16];
    EXPECT_FALSE(session->GetDigest(out, 15));
    EXPECT_TRUE(session->GetDigest(out, 16));
}

TEST(DigestSession, SessionWithoutHashGivesNoDigest)
{
    DigestSession session(nullptr);
    BYTE out[16];
    session.Update(out, 4);
    EXPECT_EQ(session.GetDigestSize(), 0u);
    EXPECT_FALSE(session.GetDigest(out, 16));
}

TEST(DigestSession, PayloadDigestAcceptsEarlierVersionsOnlyFor64KiBAndMore)
{
    std::unique_ptr<DigestSession> session = CreateMd5DigestSession();
    std::vector<BYTE> payload(70000);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<BYTE>(i * 31);
    }
    std::vector<BYTE> full(16);
    std::vector<BYTE> legacy(16);
    ASSERT_TRUE(ComputePayloadDigest(*session, payload.data(), 70000, full.data(), 16));
    ASSERT_TRUE(ComputePayloadDigest(*session, payload.data(), 70000 - 65536, legacy.data(), 16));
    EXPECT_NE(full, legacy);
    EXPECT_TRUE(PayloadDigestMatches(*session, payload.data(), 70000, full.data()));
    EXPECT_TRUE(PayloadDigestMatches(*session, payload.data(), 70000, legacy.data()));

    // Exactly 65536 bytes: earlier versions digested no byte at all.
    std::vector<BYTE> none(16);
    ASSERT_TRUE(ComputePayloadDigest(*session, payload.data(), 0, none.data(), 16));
    EXPECT_TRUE(PayloadDigestMatches(*session, payload.data(), 65536, none.data()));

    // Below 64 KiB a prefix digest is a wrong digest.
    std::vector<BYTE> prefix(16);
    ASSERT_TRUE(ComputePayloadDigest(*session, payload.data(), 100, prefix.data(), 16));
    EXPECT_FALSE(PayloadDigestMatches(*session, payload.data(), 60000, prefix.data()));
    EXPECT_FALSE(PayloadDigestMatches(*session, payload.data(), 70000, prefix.data()));
}
