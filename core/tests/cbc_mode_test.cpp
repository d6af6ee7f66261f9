#include "core/crypto/AesCipher.h"
#include "core/crypto/CbcMode.h"
#include "core/crypto/CipherPair.h"
#include "core/tests/crypto_hex.h"

#include <gtest/gtest.h>

namespace {

const char kIv[] = "000102030405060708090a0b0c0d0e0f";
const char kPlain[] =
    "6bc1bee22e409f96e93d7e117393172a"
    "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef"
    "f69f2445df4f9b17ad2b417be66c3710";

struct Sp80038aExample {
    const char* name;
    const char* key;
    const char* cipherText;
};

const Sp80038aExample kExamples[] = {
    {"CBC-AES128", "2b7e151628aed2a6abf7158809cf4f3c",
     "7649abac8119b246cee98e9b12e9197d"
     "5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e22229516"
     "3ff1caa1681fac09120eca307586e1a7"},
    {"CBC-AES192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
     "4f021db243bc633d7178183a9fa071e8"
     "b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e0"
     "08b0e27988598881d920a9e64f5615cd"},
    {"CBC-AES256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "f58c4c04d6e5f1ba779eabfb5f7bfbd6"
     "9cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461"
     "b2eb05e2c39be9fcda6c19078c6a9d1b"},
};

// AES-128 in CBC mode keyed the way the encrypted items key it, with the IV given.
struct KeyedCbc {
    explicit KeyedCbc(const std::vector<BYTE>& key, const std::vector<BYTE>& iv = {})
    {
        EXPECT_EQ(aes.SetKey(key.data(), static_cast<int>(key.size()), 16), kCipherOk);
        EXPECT_EQ(cbc.SetIV(aes, iv.empty() ? nullptr : iv.data(), iv.size()), kCipherOk);
    }
    AesCipher aes;
    CbcMode cbc;
};

const std::vector<BYTE> kKey128 = HexBytes("2b7e151628aed2a6abf7158809cf4f3c");

}  // namespace

TEST(CbcMode, Sp80038aEncryptExamples)
{
    for (const auto& example : kExamples) {
        KeyedCbc run(HexBytes(example.key), HexBytes(kIv));
        const std::vector<BYTE> plain = HexBytes(kPlain);
        std::vector<BYTE> out(plain.size());
        ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), plain.size()), kCipherOk);
        EXPECT_EQ(Hex(out), example.cipherText) << example.name;
    }
}

TEST(CbcMode, Sp80038aDecryptExamples)
{
    for (const auto& example : kExamples) {
        KeyedCbc run(HexBytes(example.key), HexBytes(kIv));
        const std::vector<BYTE> cipherText = HexBytes(example.cipherText);
        std::vector<BYTE> out(cipherText.size());
        ASSERT_EQ(run.cbc.Decrypt(run.aes, cipherText.data(), out.data(), cipherText.size()), kCipherOk);
        EXPECT_EQ(Hex(out), kPlain) << example.name;
    }
}

TEST(CbcMode, ChainCarriesOverFromCallToCall)
{
    const std::vector<BYTE> plain = HexBytes(kPlain);
    for (const auto& example : kExamples) {
        KeyedCbc run(HexBytes(example.key), HexBytes(kIv));
        std::vector<BYTE> out(plain.size());
        for (size_t offset = 0; offset < plain.size(); offset += 16)
            ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data() + offset, out.data() + offset, 16), kCipherOk);
        EXPECT_EQ(Hex(out), example.cipherText) << example.name;

        run.cbc.Reset(run.aes);
        std::vector<BYTE> back(out.size());
        ASSERT_EQ(run.cbc.Decrypt(run.aes, out.data(), back.data(), 32), kCipherOk);
        ASSERT_EQ(run.cbc.Decrypt(run.aes, out.data() + 32, back.data() + 32, 32), kCipherOk);
        EXPECT_EQ(back, plain) << example.name;
    }
}

TEST(CbcMode, ResetStartsANewChainFromTheIv)
{
    const std::vector<BYTE> plain = HexBytes(kPlain);
    KeyedCbc run(kKey128, HexBytes(kIv));
    std::vector<BYTE> first(16), second(16), alone(16);
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), first.data(), 16), kCipherOk);
    run.cbc.Reset(run.aes);
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data() + 16, second.data(), 16), kCipherOk);

    KeyedCbc fresh(kKey128, HexBytes(kIv));
    ASSERT_EQ(fresh.cbc.Encrypt(fresh.aes, plain.data() + 16, alone.data(), 16), kCipherOk);
    EXPECT_EQ(second, alone);
    EXPECT_EQ(Hex(first), std::string(kExamples[0].cipherText, 32));
}

TEST(CbcMode, ZeroIvSingleBlockIsTheBareCipher)
{
    AesCipher aes;
    const std::vector<BYTE> key = HexBytes("000102030405060708090a0b0c0d0e0f");
    ASSERT_EQ(aes.SetKey(key.data(), 16, 16), kCipherOk);
    CbcMode cbc;
    ASSERT_EQ(cbc.SetIV(aes, nullptr, 0), kCipherOk);
    const std::vector<BYTE> plain = HexBytes("00112233445566778899aabbccddeeff");
    BYTE out[16];
    ASSERT_EQ(cbc.Encrypt(aes, plain.data(), out, 16), kCipherOk);
    EXPECT_EQ(Hex(out, 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST(CbcMode, ShortIvIsPaddedWithZeros)
{
    const std::vector<BYTE> plain = PatternBytes(48);
    KeyedCbc shortIv(kKey128, HexBytes("0102030405060708"));
    KeyedCbc fullIv(kKey128, HexBytes("01020304050607080000000000000000"));
    std::vector<BYTE> a(48), b(48);
    ASSERT_EQ(shortIv.cbc.Encrypt(shortIv.aes, plain.data(), a.data(), 48), kCipherOk);
    ASSERT_EQ(fullIv.cbc.Encrypt(fullIv.aes, plain.data(), b.data(), 48), kCipherOk);
    EXPECT_EQ(a, b);
}

TEST(CbcMode, OverlongIvIsRefusedAndKeepsTheIv)
{
    const std::vector<BYTE> plain = HexBytes(kPlain);
    KeyedCbc run(kKey128, HexBytes(kIv));
    const std::vector<BYTE> longIv(17, 0xAB);
    EXPECT_EQ(run.cbc.SetIV(run.aes, longIv.data(), longIv.size()), kCipherIvTooLong);
    std::vector<BYTE> out(plain.size());
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), plain.size()), kCipherOk);
    EXPECT_EQ(Hex(out), kExamples[0].cipherText);
}

TEST(CbcMode, InPlaceEqualsSeparateBuffers)
{
    const std::vector<BYTE> plain = PatternBytes(16 * 37);
    for (const auto& example : kExamples) {
        KeyedCbc separate(HexBytes(example.key), HexBytes(kIv));
        KeyedCbc inPlace(HexBytes(example.key), HexBytes(kIv));

        std::vector<BYTE> out(plain.size());
        ASSERT_EQ(separate.cbc.Encrypt(separate.aes, plain.data(), out.data(), plain.size()), kCipherOk);
        std::vector<BYTE> buffer = plain;
        ASSERT_EQ(inPlace.cbc.Encrypt(inPlace.aes, buffer.data(), buffer.data(), buffer.size()), kCipherOk);
        EXPECT_EQ(buffer, out) << example.name;

        separate.cbc.Reset(separate.aes);
        inPlace.cbc.Reset(inPlace.aes);
        std::vector<BYTE> back(out.size());
        ASSERT_EQ(separate.cbc.Decrypt(separate.aes, out.data(), back.data(), out.size()), kCipherOk);
        ASSERT_EQ(inPlace.cbc.Decrypt(inPlace.aes, buffer.data(), buffer.data(), buffer.size()), kCipherOk);
        EXPECT_EQ(back, plain) << example.name;
        EXPECT_EQ(buffer, plain) << example.name;
    }
}

TEST(CbcMode, RefusesLengthThatIsNotAWholeNumberOfBlocks)
{
    const std::vector<BYTE> plain = HexBytes(kPlain);
    KeyedCbc run(kKey128, HexBytes(kIv));
    for (size_t length : {1u, 15u, 17u, 63u}) {
        std::vector<BYTE> out(64, 0xEE);
        EXPECT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), length), kCipherLengthNotBlockMultiple);
        EXPECT_EQ(run.cbc.Decrypt(run.aes, plain.data(), out.data(), length), kCipherLengthNotBlockMultiple);
        EXPECT_EQ(out, std::vector<BYTE>(64, 0xEE)) << length << " bytes";
    }
    // The refusals left the chain where it was.
    std::vector<BYTE> out(plain.size());
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), plain.size()), kCipherOk);
    EXPECT_EQ(Hex(out), kExamples[0].cipherText);
}

TEST(CbcMode, RefusesToRunWithoutIv)
{
    AesCipher aes;
    ASSERT_EQ(aes.SetKey(kKey128.data(), 16, 16), kCipherOk);
    CbcMode cbc;
    BYTE buffer[32] = {};
    EXPECT_EQ(cbc.Encrypt(aes, buffer, buffer, sizeof(buffer)), kCipherNoIv);
    EXPECT_EQ(cbc.Decrypt(aes, buffer, buffer, sizeof(buffer)), kCipherNoIv);
    EXPECT_EQ(cbc.Encrypt(aes, nullptr, nullptr, 0), kCipherNoIv);
    ASSERT_EQ(cbc.SetIV(aes, nullptr, 0), kCipherOk);
    EXPECT_EQ(cbc.Encrypt(aes, nullptr, nullptr, 0), kCipherOk);
}

TEST(CbcMode, RefusesIvForCipherWithoutBlockLength)
{
    AesCipher neverKeyed;
    CbcMode cbc;
    EXPECT_EQ(cbc.SetIV(neverKeyed, nullptr, 0), kCipherNoIv);

    AesCipher wideBlock;
    const std::vector<BYTE> key(16, 1);
    EXPECT_EQ(wideBlock.SetKey(key.data(), 16, 64), kCipherBadBlockLength);
    EXPECT_EQ(cbc.SetIV(wideBlock, nullptr, 0), kCipherNoIv);

    AesCipher aes;
    ASSERT_EQ(aes.SetKey(key.data(), 16, 16), kCipherOk);
    EXPECT_EQ(cbc.SetIV(aes, nullptr, 4), kCipherNoIv);
}

TEST(CbcMode, KeylessCipherFailsTheRunAndResetsTheChain)
{
    const std::vector<BYTE> plain = HexBytes(kPlain);
    KeyedCbc run(kKey128, HexBytes(kIv));
    std::vector<BYTE> out(plain.size());
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), 16), kCipherOk);

    AesCipher keyless;
    ASSERT_EQ(keyless.SetKey(kKey128.data(), 20, 16), kCipherBadKeyLength);  // block length 16, no key
    std::vector<BYTE> untouched(plain.size(), 0xEE);
    EXPECT_EQ(run.cbc.Encrypt(keyless, plain.data(), untouched.data(), 32), kCipherNoEncryptionKey);
    EXPECT_EQ(run.cbc.Decrypt(keyless, plain.data(), untouched.data(), 32), kCipherNoDecryptionKey);
    EXPECT_EQ(untouched, std::vector<BYTE>(plain.size(), 0xEE));

    // The failure reset the chain: the next run starts from the IV again.
    ASSERT_EQ(run.cbc.Encrypt(run.aes, plain.data(), out.data(), plain.size()), kCipherOk);
    EXPECT_EQ(Hex(out), kExamples[0].cipherText);
}

TEST(CipherPair, CreateAesCbcCipherFillsThePair)
{
    CipherPair pair;
    EXPECT_EQ(pair.cipher, nullptr);
    EXPECT_EQ(pair.mode, nullptr);
    ASSERT_EQ(CreateAesCbcCipher(pair), kCipherOk);
    ASSERT_NE(pair.cipher, nullptr);
    ASSERT_NE(pair.mode, nullptr);

    // Keyed the way every encrypted item is keyed: AES-128, all-zero IV.
    const std::vector<BYTE> key = HexBytes("000102030405060708090a0b0c0d0e0f");
    ASSERT_EQ(pair.cipher->SetKey(key.data(), 16, 16), kCipherOk);
    ASSERT_EQ(pair.mode->SetIV(*pair.cipher, nullptr, 0), kCipherOk);
    std::vector<BYTE> block = HexBytes("00112233445566778899aabbccddeeff");
    ASSERT_EQ(pair.mode->Encrypt(*pair.cipher, block.data(), block.data(), 16), kCipherOk);
    EXPECT_EQ(Hex(block), "69c4e0d86a7b0430d8cdb78070b4c55a");
}
