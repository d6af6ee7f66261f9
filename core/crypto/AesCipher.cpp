#include "core/crypto/AesCipher.h"

#include <cstring>

namespace {

constexpr uint8_t Rotl8(uint8_t x, int n)
{
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint8_t Xtime(uint8_t x)
{
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (; b != 0; b >>= 1, a = Xtime(a))
        if (b & 1)
            product ^= a;
    return product;
}

constexpr uint32_t Rotr32(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

struct AesTables {
    uint8_t sbox[256];
    uint8_t inverseSbox[256];
    uint32_t encrypt[4][256];  // SubBytes and MixColumns of one byte, one table per row
    uint32_t decrypt[4][256];  // InvSubBytes and InvMixColumns likewise
};

// Built by the compiler from the field arithmetic, so no table is typed in by hand.
constexpr AesTables MakeTables()
{
    AesTables t{};
    // Walk the multiplicative group with generator 3: p runs over 3^i, q over 3^-i, so q is
    // the inverse of p; the affine map of the inverse gives the S-box.
    uint8_t p = 1, q = 1;
    do {
        p = static_cast<uint8_t>(p ^ Xtime(p));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        const uint8_t affine = static_cast<uint8_t>(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4));
        t.sbox[p] = static_cast<uint8_t>(affine ^ 0x63);
    } while (p != 1);
    t.sbox[0] = 0x63;

    for (int x = 0; x < 256; ++x)
        t.inverseSbox[t.sbox[x]] = static_cast<uint8_t>(x);

    for (int x = 0; x < 256; ++x) {
        const uint8_t s = t.sbox[x];
        const uint32_t e = (static_cast<uint32_t>(Multiply(s, 2)) << 24) | (static_cast<uint32_t>(s) << 16) |
                           (static_cast<uint32_t>(s) << 8) | Multiply(s, 3);
        const uint8_t v = t.inverseSbox[x];
        const uint32_t d = (static_cast<uint32_t>(Multiply(v, 14)) << 24) |
                           (static_cast<uint32_t>(Multiply(v, 9)) << 16) |
                           (static_cast<uint32_t>(Multiply(v, 13)) << 8) | Multiply(v, 11);
        t.encrypt[0][x] = e;
        t.decrypt[0][x] = d;
        for (int row = 1; row < 4; ++row) {
            t.encrypt[row][x] = Rotr32(e, 8 * row);
            t.decrypt[row][x] = Rotr32(d, 8 * row);
        }
    }
    return t;
}

constexpr AesTables kAes = MakeTables();

constexpr const uint32_t* Te0 = kAes.encrypt[0];
constexpr const uint32_t* Te1 = kAes.encrypt[1];
constexpr const uint32_t* Te2 = kAes.encrypt[2];
constexpr const uint32_t* Te3 = kAes.encrypt[3];
constexpr const uint32_t* Td0 = kAes.decrypt[0];
constexpr const uint32_t* Td1 = kAes.decrypt[1];
constexpr const uint32_t* Td2 = kAes.decrypt[2];
constexpr const uint32_t* Td3 = kAes.decrypt[3];
constexpr const uint8_t* Sbox = kAes.sbox;
constexpr const uint8_t* InverseSbox = kAes.inverseSbox;

inline uint32_t LoadBe32(const BYTE* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBe32(BYTE* p, uint32_t value)
{
    p[0] = static_cast<BYTE>(value >> 24);
    p[1] = static_cast<BYTE>(value >> 16);
    p[2] = static_cast<BYTE>(value >> 8);
    p[3] = static_cast<BYTE>(value);
}

inline uint32_t SubWord(uint32_t w)
{
    return (static_cast<uint32_t>(Sbox[w >> 24]) << 24) | (static_cast<uint32_t>(Sbox[(w >> 16) & 0xFF]) << 16) |
           (static_cast<uint32_t>(Sbox[(w >> 8) & 0xFF]) << 8) | Sbox[w & 0xFF];
}

inline uint32_t B0(uint32_t w) { return w >> 24; }
inline uint32_t B1(uint32_t w) { return (w >> 16) & 0xFF; }
inline uint32_t B2(uint32_t w) { return (w >> 8) & 0xFF; }
inline uint32_t B3(uint32_t w) { return w & 0xFF; }

}  // namespace

AesCipher::~AesCipher()
{
    ClearSchedules();
}

void AesCipher::ClearSchedules()
{
    // Through a volatile pointer, so that the key material is wiped even when the object dies.
    volatile BYTE* bytes = reinterpret_cast<volatile BYTE*>(&encrypt_);
    for (size_t i = 0; i < sizeof(encrypt_); ++i)
        bytes[i] = 0;
    bytes = reinterpret_cast<volatile BYTE*>(&decrypt_);
    for (size_t i = 0; i < sizeof(decrypt_); ++i)
        bytes[i] = 0;
}

int AesCipher::SetKey(const BYTE* key, int keyLength, int blockLength)
{
    blockLength_ = blockLength;
    keyLength_ = keyLength;
    ClearSchedules();

    if (key == nullptr || (keyLength != 16 && keyLength != 24 && keyLength != 32))
        return kCipherBadKeyLength;
    if (blockLength != 16)
        return kCipherBadBlockLength;

    if (!ExpandEncryption(key, keyLength, encrypt_) || !ExpandDecryption(encrypt_, decrypt_)) {
        ClearSchedules();
        return kCipherKeyExpansionFailed;
    }
    return kCipherOk;
}

bool AesCipher::ExpandEncryption(const BYTE* key, int keyLength, KeySchedule& schedule)
{
    const int nk = keyLength / 4;
    const int rounds = nk + 6;
    const int total = 4 * (rounds + 1);
    if (total > static_cast<int>(sizeof(schedule.roundKeys) / sizeof(schedule.roundKeys[0])))
        return false;

    uint32_t* w = schedule.roundKeys;
    for (int i = 0; i < nk; ++i)
        w[i] = LoadBe32(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < total; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = SubWord((temp << 8) | (temp >> 24)) ^ (static_cast<uint32_t>(rcon) << 24);
            rcon = Xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    schedule.rounds = rounds;
    schedule.use = kScheduleEncrypt;
    return true;
}

bool AesCipher::ExpandDecryption(const KeySchedule& encryption, KeySchedule& schedule)
{
    if (encryption.use != kScheduleEncrypt)
        return false;
    const int rounds = encryption.rounds;
    const uint32_t* src = encryption.roundKeys;
    uint32_t* dst = schedule.roundKeys;

    // Round keys in reverse order; the inner ones pass through InvMixColumns so that the
    // inverse rounds can add them after their own InvMixColumns.
    for (int r = 0; r <= rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            const uint32_t k = src[4 * (rounds - r) + c];
            if (r == 0 || r == rounds)
                dst[4 * r + c] = k;
            else
                dst[4 * r + c] = Td0[Sbox[B0(k)]] ^ Td1[Sbox[B1(k)]] ^ Td2[Sbox[B2(k)]] ^ Td3[Sbox[B3(k)]];
        }
    }
    schedule.rounds = rounds;
    schedule.use = kScheduleDecrypt;
    return true;
}

int AesCipher::EncryptBlock(const BYTE* in, BYTE* out) const
{
    if (encrypt_.use != kScheduleEncrypt)
        return kCipherNoEncryptionKey;

    const uint32_t* rk = encrypt_.roundKeys;
    uint32_t s0 = LoadBe32(in) ^ rk[0];
    uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
    uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
    uint32_t s3 = LoadBe32(in + 12) ^ rk[3];

    for (int round = 1; round < encrypt_.rounds; ++round) {
        rk += 4;
        const uint32_t t0 = Te0[B0(s0)] ^ Te1[B1(s1)] ^ Te2[B2(s2)] ^ Te3[B3(s3)] ^ rk[0];
        const uint32_t t1 = Te0[B0(s1)] ^ Te1[B1(s2)] ^ Te2[B2(s3)] ^ Te3[B3(s0)] ^ rk[1];
        const uint32_t t2 = Te0[B0(s2)] ^ Te1[B1(s3)] ^ Te2[B2(s0)] ^ Te3[B3(s1)] ^ rk[2];
        const uint32_t t3 = Te0[B0(s3)] ^ Te1[B1(s0)] ^ Te2[B2(s1)] ^ Te3[B3(s2)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }

    rk += 4;
    auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return ((static_cast<uint32_t>(Sbox[B0(a)]) << 24) | (static_cast<uint32_t>(Sbox[B1(b)]) << 16) |
                (static_cast<uint32_t>(Sbox[B2(c)]) << 8) | Sbox[B3(d)]) ^ k;
    };
    const uint32_t o0 = last(s0, s1, s2, s3, rk[0]);
    const uint32_t o1 = last(s1, s2, s3, s0, rk[1]);
    const uint32_t o2 = last(s2, s3, s0, s1, rk[2]);
    const uint32_t o3 = last(s3, s0, s1, s2, rk[3]);
    StoreBe32(out, o0);
    StoreBe32(out + 4, o1);
    StoreBe32(out + 8, o2);
    StoreBe32(out + 12, o3);
    return kCipherOk;
}

int AesCipher::DecryptBlock(const BYTE* in, BYTE* out) const
{
    if (decrypt_.use != kScheduleDecrypt)
        return kCipherNoDecryptionKey;

    const uint32_t* rk = decrypt_.roundKeys;
    uint32_t s0 = LoadBe32(in) ^ rk[0];
    uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
    uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
    uint32_t s3 = LoadBe32(in + 12) ^ rk[3];

    for (int round = 1; round < decrypt_.rounds; ++round) {
        rk += 4;
        const uint32_t t0 = Td0[B0(s0)] ^ Td1[B1(s3)] ^ Td2[B2(s2)] ^ Td3[B3(s1)] ^ rk[0];
        const uint32_t t1 = Td0[B0(s1)] ^ Td1[B1(s0)] ^ Td2[B2(s3)] ^ Td3[B3(s2)] ^ rk[1];
        const uint32_t t2 = Td0[B0(s2)] ^ Td1[B1(s1)] ^ Td2[B2(s0)] ^ Td3[B3(s3)] ^ rk[2];
        const uint32_t t3 = Td0[B0(s3)] ^ Td1[B1(s2)] ^ Td2[B2(s1)] ^ Td3[B3(s0)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }

    rk += 4;
    auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return ((static_cast<uint32_t>(InverseSbox[B0(a)]) << 24) |
                (static_cast<uint32_t>(InverseSbox[B1(b)]) << 16) |
                (static_cast<uint32_t>(InverseSbox[B2(c)]) << 8) | InverseSbox[B3(d)]) ^ k;
    };
    const uint32_t o0 = last(s0, s3, s2, s1, rk[0]);
    const uint32_t o1 = last(s1, s0, s3, s2, rk[1]);
    const uint32_t o2 = last(s2, s1, s0, s3, rk[2]);
    const uint32_t o3 = last(s3, s2, s1, s0, rk[3]);
    StoreBe32(out, o0);
    StoreBe32(out + 4, o1);
    StoreBe32(out + 8, o2);
    StoreBe32(out + 12, o3);
    return kCipherOk;
}
