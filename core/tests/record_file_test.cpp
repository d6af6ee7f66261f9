#include "core/store/RecordFile.h"

#include "core/crypto/CipherPair.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"
#include "core/store/StoreConstants.h"

#include <gtest/gtest.h>

#include <memory>


namespace {

const BYTE kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0};
const BYTE kOtherKey[16] = {8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0};

class SettingFile : public EncryptedRecordFile {
public:
    explicit SettingFile(const BYTE* key = kKey)
        : EncryptedRecordFile(StoreConstants::kSettingRecordName, _T("Setting.dat"), key, 16)
    {
    }
};

std::vector<BYTE> Bytes(size_t count)
{
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<BYTE>(i * 13 + 5);
    }
    return bytes;
}

std::vector<BYTE> Wrapped(const std::vector<BYTE>& payload, const BYTE* key = kKey)
{
    SettingFile file(key);
    std::vector<BYTE> image = payload;
    file.Wrap(image);
    return image;
}

std::vector<BYTE> Plain(std::vector<BYTE> image)
{
    CipherPair cipher;
    EXPECT_EQ(KeyAesCbc(cipher, kKey, 16), 0);
    EXPECT_EQ(DecryptWhole(cipher, image.data(), static_cast<DWORD>(image.size())), 0);
    return image;
}

std::vector<BYTE> Encrypted(std::vector<BYTE> plain)
{
    CipherPair cipher;
    EXPECT_EQ(KeyAesCbc(cipher, kKey, 16), 0);
    EXPECT_EQ(EncryptWhole(cipher, plain.data(), static_cast<DWORD>(plain.size())), 0);
    return plain;
}

int Unwraps(std::vector<BYTE> image, const BYTE* key = kKey)
{
    SettingFile file(key);
    return file.Unwrap(image);
}

}  // namespace

TEST(RecordFile, ImageSizesPadToTheBlock)
{
    struct Case {
        size_t payload;
        size_t image;
    };
    // 17 name bytes, 16 digest bytes, 4 length bytes, then the payload.
    const Case cases[] = {{36, 80}, {0, 48}, {11, 48}, {12, 64}, {1000, 1040}};
    for (const Case& c : cases) {
        EXPECT_EQ(Wrapped(Bytes(c.payload)).size(), c.image) << c.payload;
    }
}

TEST(RecordFile, PlainTextIsNameDigestLengthPayload)
{
    const std::vector<BYTE> payload = Bytes(36);
    const std::vector<BYTE> plain = Plain(Wrapped(payload));
    EXPECT_EQ(std::string(plain.begin(), plain.begin() + 17), "QEVRINSettingFile");
    std::unique_ptr<DigestSession> digest = CreateMd5DigestSession();
    std::vector<BYTE> md5(16);
    ASSERT_TRUE(ComputePayloadDigest(*digest, payload.data(), 36, md5.data(), 16));
    EXPECT_EQ(std::vector<BYTE>(plain.begin() + 17, plain.begin() + 33), md5);
    EXPECT_EQ(std::vector<BYTE>(plain.begin() + 33, plain.begin() + 37), (std::vector<BYTE>{36, 0, 0, 0}));
    EXPECT_EQ(std::vector<BYTE>(plain.begin() + 37, plain.begin() + 73), payload);
    EXPECT_EQ(std::vector<BYTE>(plain.begin() + 73, plain.end()), std::vector<BYTE>(7, 0));
}

TEST(RecordFile, RoundTrips)
{
    for (size_t size : {0, 1, 36, 4096, 70000}) {
        std::vector<BYTE> image = Wrapped(Bytes(size));
        SettingFile file;
        ASSERT_EQ(file.Unwrap(image), 1) << size;
        EXPECT_EQ(image, Bytes(size));
    }
}

TEST(RecordFile, RefusesDamagedForeignAndTruncatedImages)
{
    const std::vector<BYTE> image = Wrapped(Bytes(36));
    EXPECT_EQ(Unwraps(image, kOtherKey), 0);
    EXPECT_EQ(Unwraps({}), 0);
    for (size_t length = 0; length < image.size(); ++length) {
        EXPECT_EQ(Unwraps(std::vector<BYTE>(image.begin(), image.begin() + length)), 0) << length;
    }
    for (size_t i = 0; i < image.size(); i += 5) {
        std::vector<BYTE> tampered = image;
        tampered[i] ^= 0x80;
        EXPECT_EQ(Unwraps(tampered), 0) << i;
    }
}

TEST(RecordFile, RefusesOtherRecordName)
{
    EncryptedRecordFile install(StoreConstants::kInstallSettingRecordName, _T("Setting.dat"), kKey, 16);
    std::vector<BYTE> image = Bytes(36);
    install.Wrap(image);
    EXPECT_EQ(Unwraps(image), 0);
}

TEST(RecordFile, RefusesLengthBeyondData)
{
    std::vector<BYTE> plain = Plain(Wrapped(Bytes(36)));
    plain[33] = 37 + 7 + 1;  // one more than payload and zero fill
    EXPECT_EQ(Unwraps(Encrypted(plain)), 0);
    plain[33] = 36 + 7;      // within the image, but the digest then covers other bytes
    EXPECT_EQ(Unwraps(Encrypted(plain)), 0);
}

TEST(RecordFile, AcceptsDigestOfEarlierVersionsForLargePayloads)
{
    const std::vector<BYTE> payload = Bytes(70000);
    std::vector<BYTE> plain = Plain(Wrapped(payload));
    std::unique_ptr<DigestSession> digest = CreateMd5DigestSession();
    ASSERT_TRUE(ComputePayloadDigest(*digest, payload.data(), 70000 % 65536, plain.data() + 17, 16));
    std::vector<BYTE> image = Encrypted(plain);
    SettingFile file;
    ASSERT_EQ(file.Unwrap(image), 1);
    EXPECT_EQ(image, payload);
}

// A hand-made file in the clear, with the right name, digest and length, must not be taken
// without the key when the file has a cipher.
TEST(RecordFile, RefusesUnencryptedImageWhenACipherIsSet)
{
    for (size_t size : {size_t(1), size_t(36), size_t(100)}) {
        const std::vector<BYTE> payload = Bytes(size);
        const std::string name = StoreConstants::kSettingRecordName;
        std::vector<BYTE> image(name.begin(), name.end());
        std::vector<BYTE> digest(16);
        std::unique_ptr<DigestSession> md5 = CreateMd5DigestSession();
        ASSERT_TRUE(ComputePayloadDigest(*md5, payload.data(), DWORD(size), digest.data(), 16));
        image.insert(image.end(), digest.begin(), digest.end());
        for (int i = 0; i < 4; ++i) {
            image.push_back(static_cast<BYTE>(size >> (8 * i)));
        }
        image.insert(image.end(), payload.begin(), payload.end());
        ASSERT_NE(image.size() % 16, 0u) << size;
        EXPECT_EQ(Unwraps(image), 0) << size;
    }
}

TEST(RecordFile, PlainRecordFileHasNoCipherOrDigest)
{
    RecordFile file("AB", _T("x.dat"));
    std::vector<BYTE> image = {7, 8};
    file.Wrap(image);
    EXPECT_EQ(image, (std::vector<BYTE>{'A', 'B', 2, 0, 0, 0, 7, 8}));
    ASSERT_EQ(file.Unwrap(image), 1);
    EXPECT_EQ(image, (std::vector<BYTE>{7, 8}));
}

TEST(RecordFile, RefusedKeyNeverWritesPlainText)
{
    const BYTE shortKey[5] = {1, 2, 3, 4, 5};
    EncryptedRecordFile file(StoreConstants::kSettingRecordName, _T("Setting.dat"), shortKey, 5);
    std::vector<BYTE> payload = Bytes(36);
    EXPECT_THROW(file.Wrap(payload), int);
    EXPECT_EQ(payload, Bytes(36));
    EXPECT_EQ(file.Unwrap(payload), 0);
}
