#include "core/crypto/AesCipher.h"
#include "core/tests/crypto_hex.h"

#include <gtest/gtest.h>

namespace {

const char kPlain[] = "00112233445566778899aabbccddeeff";

struct Fips197Example {
    const char* name;
    const char* key;
    const char* cipherText;
};

const Fips197Example kExamples[] = {
    {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "8ea2b7ca516745bfeafc49904b496089"},
};

}  // namespace

TEST(AesCipher, Fips197AppendixCExamples)
{
    for (const auto& example : kExamples) {
        AesCipher aes;
        const std::vector<BYTE> key = HexBytes(example.key);
        ASSERT_EQ(aes.SetKey(key.data(), static_cast<int>(key.size()), 16), kCipherOk) << example.name;

        const std::vector<BYTE> plain = HexBytes(kPlain);
        BYTE out[16];
        ASSERT_EQ(aes.EncryptBlock(plain.data(), out), kCipherOk) << example.name;
        EXPECT_EQ(Hex(out, 16), example.cipherText) << example.name;

        const std::vector<BYTE> cipherText = HexBytes(example.cipherText);
        ASSERT_EQ(aes.DecryptBlock(cipherText.data(), out), kCipherOk) << example.name;
        EXPECT_EQ(Hex(out, 16), kPlain) << example.name;
    }
}

TEST(AesCipher, SetKeyResultCodes)
{
    const std::vector<BYTE> key(32, 0x5A);
    const struct {
        const BYTE* key;
        int keyLength;
        int blockLength;
        int result;
    } cases[] = {
        {key.data(), 16, 16, kCipherOk},
        {key.data(), 24, 16, kCipherOk},
        {key.data(), 32, 16, kCipherOk},
        {key.data(), 20, 16, kCipherBadKeyLength},
        {key.data(), 20, 32, kCipherBadKeyLength},  // the key length is judged first
        {key.data(), 0, 16, kCipherBadKeyLength},
        {key.data(), -16, 16, kCipherBadKeyLength},
        {nullptr, 16, 16, kCipherBadKeyLength},
        {key.data(), 16, 32, kCipherBadBlockLength},
        {key.data(), 16, 8, kCipherBadBlockLength},
        {key.data(), 32, 0, kCipherBadBlockLength},
    };
    for (const auto& c : cases) {
        AesCipher aes;
        EXPECT_EQ(aes.SetKey(c.key, c.keyLength, c.blockLength), c.result)
            << "key " << c.keyLength << ", block " << c.blockLength;
        EXPECT_EQ(aes.BlockLength(), c.blockLength);
        EXPECT_EQ(aes.KeyLength(), c.keyLength);
    }
}

TEST(AesCipher, BlockResultCodes)
{
    const std::vector<BYTE> key(16, 0x11);
    BYTE block[16] = {};
    const struct {
        const char* name;
        int keyLength;
        int blockLength;
        bool setKey;
        int encrypt;
        int decrypt;
    } cases[] = {
        {"never keyed", 0, 0, false, kCipherNoEncryptionKey, kCipherNoDecryptionKey},
        {"keyed", 16, 16, true, kCipherOk, kCipherOk},
        {"refused key length", 20, 16, true, kCipherNoEncryptionKey, kCipherNoDecryptionKey},
        {"refused block length", 16, 32, true, kCipherNoEncryptionKey, kCipherNoDecryptionKey},
    };
    for (const auto& c : cases) {
        AesCipher aes;
        if (c.setKey)
            aes.SetKey(key.data(), c.keyLength, c.blockLength);
        EXPECT_EQ(aes.EncryptBlock(block, block), c.encrypt) << c.name;
        EXPECT_EQ(aes.DecryptBlock(block, block), c.decrypt) << c.name;
    }
}

TEST(AesCipher, RefusedKeyForgetsTheEarlierKey)
{
    AesCipher aes;
    const std::vector<BYTE> key(16, 0x22);
    ASSERT_EQ(aes.SetKey(key.data(), 16, 16), kCipherOk);
    EXPECT_EQ(aes.SetKey(key.data(), 17, 16), kCipherBadKeyLength);
    BYTE block[16] = {};
    EXPECT_EQ(aes.EncryptBlock(block, block), kCipherNoEncryptionKey);
    EXPECT_EQ(aes.DecryptBlock(block, block), kCipherNoDecryptionKey);
}

TEST(AesCipher, InPlaceBlockEqualsSeparateBuffers)
{
    for (const auto& example : kExamples) {
        AesCipher aes;
        const std::vector<BYTE> key = HexBytes(example.key);
        ASSERT_EQ(aes.SetKey(key.data(), static_cast<int>(key.size()), 16), kCipherOk);
        std::vector<BYTE> block = HexBytes(kPlain);
        ASSERT_EQ(aes.EncryptBlock(block.data(), block.data()), kCipherOk);
        EXPECT_EQ(Hex(block), example.cipherText) << example.name;
        ASSERT_EQ(aes.DecryptBlock(block.data(), block.data()), kCipherOk);
        EXPECT_EQ(Hex(block), kPlain) << example.name;
    }
}

