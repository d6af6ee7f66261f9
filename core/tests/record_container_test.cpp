#include "core/store/RecordContainer.h"

#include "core/crypto/CipherPair.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const BYTE kKey[16] = {0x5C, 0x1E, 0x93, 0xA7, 0x0D, 0x4B, 0x26, 0xF8, 0xE1, 0xC9, 0x7A, 0x30, 0xB6, 0xD2, 0x58, 0x4F};
const BYTE kOtherKey[16] = {0xA3, 0x8B, 0x17, 0xD4, 0xC2, 0x90, 0x6E, 0x5F, 0xF0, 0x1B, 0x4D, 0x7C, 0x62, 0x39, 0xE8, 0xA5};

// One side of an item: its own digest session and keyed cipher pair.
struct Keyed {
    explicit Keyed(const BYTE* key = kKey) : digest(CreateMd5DigestSession())
    {
        EXPECT_EQ(KeyAesCbc(cipher, key, 16), 0);
    }
    std::unique_ptr<DigestSession> digest;
    CipherPair cipher;
};

std::vector<BYTE> Store(const std::vector<BYTE>& payload, const std::string& name = std::string(),
                        const BYTE* key = kKey)
{
    Keyed keyed(key);
    RecordSerializer serializer(name, keyed.digest.get(), &keyed.cipher);
    serializer.SetSource(&payload);
    std::vector<BYTE> out = {0xEE};
    serializer.Serialize(out);
    return out;
}

// The payload, or throws what the parser throws.
std::vector<BYTE> Unstore(std::vector<BYTE> stored, const std::string& name = std::string(), const BYTE* key = kKey)
{
    Keyed keyed(key);
    RecordParser parser(name, keyed.digest.get(), &keyed.cipher);
    std::vector<BYTE> payload;
    parser.SetTarget(&payload);
    parser.Parse(stored);
    return payload;
}

bool Refused(const std::vector<BYTE>& stored, const std::string& name = std::string(), const BYTE* key = kKey)
{
    try {
        Unstore(stored, name, key);
        return false;
    } catch (Data::IParser::_throws e) {
        return e == 1;
    }
}

std::vector<BYTE> Decrypt(std::vector<BYTE> stored)
{
    Keyed keyed;
    EXPECT_EQ(DecryptWhole(keyed.cipher, stored.data(), static_cast<DWORD>(stored.size())), 0);
    return stored;
}

std::vector<BYTE> Encrypt(std::vector<BYTE> plain)
{
    Keyed keyed;
    EXPECT_EQ(EncryptWhole(keyed.cipher, plain.data(), static_cast<DWORD>(plain.size())), 0);
    return plain;
}

std::vector<BYTE> Md5(const std::vector<BYTE>& bytes, size_t count)
{
    std::unique_ptr<DigestSession> digest = CreateMd5DigestSession();
    std::vector<BYTE> out(16);
    EXPECT_TRUE(ComputePayloadDigest(*digest, bytes.data(), static_cast<DWORD>(count), out.data(), 16));
    return out;
}

std::vector<BYTE> Bytes(size_t count, BYTE seed = 1)
{
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<BYTE>(seed + i * 7);
    }
    return bytes;
}

// The plain text as an earlier version would have stored it, with any digest.
std::vector<BYTE> PlainContainer(DWORD length, const std::vector<BYTE>& digest, const std::vector<BYTE>& payload)
{
    std::vector<BYTE> plain = {static_cast<BYTE>(length), static_cast<BYTE>(length >> 8),
                               static_cast<BYTE>(length >> 16), static_cast<BYTE>(length >> 24)};
    plain.insert(plain.end(), digest.begin(), digest.end());
    plain.insert(plain.end(), payload.begin(), payload.end());
    plain.resize((plain.size() + 15) / 16 * 16, 0);
    return plain;
}

}  // namespace

TEST(RecordContainer, StoredSizesPadToTheBlock)
{
    struct Case {
        size_t payload;
        size_t stored;
    };
    const Case cases[] = {{0, 32}, {8, 32}, {12, 32}, {28, 48}, {48, 80}, {13, 48}};
    for (const Case& c : cases) {
        EXPECT_EQ(Store(Bytes(c.payload)).size(), c.stored) << c.payload;
    }
}

TEST(RecordContainer, PlainTextIsLengthDigestPayloadZeros)
{
    const std::vector<BYTE> payload = Bytes(8);
    const std::vector<BYTE> plain = Decrypt(Store(payload));
    ASSERT_EQ(plain.size(), 32u);
    EXPECT_EQ(plain, PlainContainer(24, Md5(payload, payload.size()), payload));
}

TEST(RecordContainer, EmptyPayloadCarriesDigestOfNothing)
{
    const std::vector<BYTE> plain = Decrypt(Store({}));
    const std::vector<BYTE> md5OfNothing = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                            0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    EXPECT_EQ(plain, PlainContainer(16, md5OfNothing, {}));
    EXPECT_TRUE(Unstore(Store({})).empty());
}

TEST(RecordContainer, RoundTripsPayloadsAndNames)
{
    for (size_t size : {0, 1, 11, 12, 13, 100, 4096}) {
        const std::vector<BYTE> payload = Bytes(size, static_cast<BYTE>(size));
        EXPECT_EQ(Unstore(Store(payload)), payload) << size;
        EXPECT_EQ(Unstore(Store(payload, "QEVRINExportTimeImportedFile"), "QEVRINExportTimeImportedFile"), payload);
    }
}

TEST(RecordContainer, NamedRecordHoldsNameAfterLength)
{
    const std::vector<BYTE> plain = Decrypt(Store(Bytes(16), "QEVRINExportTimeImportedFile"));
    ASSERT_EQ(plain.size(), 64u);
    EXPECT_EQ(plain[0], 60);
    EXPECT_EQ(std::string(plain.begin() + 4, plain.begin() + 32), "QEVRINExportTimeImportedFile");
}

TEST(RecordContainer, RefusesTamperedBlocks)
{
    const std::vector<BYTE> stored = Store(Bytes(40));
    for (size_t block = 0; block < stored.size() / 16; ++block) {
        for (size_t offset : {size_t(0), size_t(7), size_t(15)}) {
            std::vector<BYTE> tampered = stored;
            tampered[block * 16 + offset] ^= 0x01;
            EXPECT_TRUE(Refused(tampered)) << "block " << block << " byte " << offset;
        }
    }
}

TEST(RecordContainer, RefusesWrongKeyAndWrongName)
{
    const std::vector<BYTE> stored = Store(Bytes(20), "QEVRINExportTimeImportedFile");
    EXPECT_TRUE(Refused(stored, "QEVRINExportTimeImportedFile", kOtherKey));
    EXPECT_TRUE(Refused(stored, "QEVRINSettingFile"));
    EXPECT_TRUE(Refused(Store(Bytes(20)), "QEVRINExportTimeImportedFile"));
}

TEST(RecordContainer, RefusesEveryTruncation)
{
    const std::vector<BYTE> stored = Store(Bytes(40));
    for (size_t length = 0; length < stored.size(); ++length) {
        EXPECT_TRUE(Refused(std::vector<BYTE>(stored.begin(), stored.begin() + length))) << length;
    }
}

TEST(RecordContainer, RefusesLengthBeyondData)
{
    const std::vector<BYTE> payload = Bytes(8);
    for (DWORD length : {DWORD(29), DWORD(1000), DWORD(0x7FFFFFFF), DWORD(0xFFFFFFFF)}) {
        EXPECT_TRUE(Refused(Encrypt(PlainContainer(length, Md5(payload, 8), payload)))) << length;
    }
    // A length that stops inside the zero fill still covers the digest and the payload.
    EXPECT_EQ(Unstore(Encrypt(PlainContainer(24, Md5(payload, 8), payload))), payload);
}

// A value that was never encrypted, made by hand with the right length and digest, must not
// pass without the key: with a cipher set, a size that is no multiple of the block is refused.
TEST(RecordContainer, RefusesUnencryptedValueWhenACipherIsSet)
{
    for (size_t size : {size_t(1), size_t(8), size_t(13), size_t(40)}) {
        const std::vector<BYTE> payload = Bytes(size);
        std::vector<BYTE> plain = PlainContainer(DWORD(16 + size), Md5(payload, size), payload);
        plain.resize(4 + 16 + size);  // as written by hand: no zero fill
        ASSERT_NE(plain.size() % 16, 0u);
        EXPECT_TRUE(Refused(plain)) << size;
    }
}

TEST(RecordContainer, RefusesUnboundParserAndEmptyInput)
{
    Keyed keyed;
    RecordParser parser(std::string(), keyed.digest.get(), &keyed.cipher);
    std::vector<BYTE> stored = Store(Bytes(4));
    EXPECT_THROW(parser.Parse(stored), Data::IParser::_throws);
    EXPECT_TRUE(Refused({}));

    RecordSerializer serializer(std::string(), keyed.digest.get(), &keyed.cipher);
    std::vector<BYTE> out;
    EXPECT_THROW(serializer.Serialize(out), Data::ISerializer::_throws);
}

TEST(RecordContainer, WritesStandardDigestOfLargePayload)
{
    const std::vector<BYTE> payload = Bytes(70000);
    const std::vector<BYTE> plain = Decrypt(Store(payload));
    EXPECT_EQ(std::vector<BYTE>(plain.begin() + 4, plain.begin() + 20), Md5(payload, payload.size()));
}

TEST(RecordContainer, AcceptsDigestOfEarlierVersionsForLargePayloads)
{
    const std::vector<BYTE> large = Bytes(70000);
    const std::vector<BYTE> legacy = Md5(large, 70000 % 65536);
    EXPECT_EQ(Unstore(Encrypt(PlainContainer(16 + 70000, legacy, large))), large);

    // Below 64 KiB only the digest of the whole payload counts.
    const std::vector<BYTE> small = Bytes(5000);
    EXPECT_TRUE(Refused(Encrypt(PlainContainer(16 + 5000, Md5(small, 5000 % 4096), small))));
}
