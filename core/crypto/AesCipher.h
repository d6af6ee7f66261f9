#pragma once
//
//  AES as in FIPS-197 with keys of 16, 24 or 32 bytes and 16-byte blocks.
//
//  Table-driven: four 1 KiB round tables per direction, so one block costs a fixed number of
//  table lookups whatever the data. The decryption schedule is the one of the equivalent
//  inverse cipher, so both directions run the same round structure.
//
#include "core/crypto/BlockCipher.h"

#include <cstdint>

class AesCipher : public BlockCipher {
public:
    AesCipher() = default;
    ~AesCipher() override;

    int SetKey(const BYTE* key, int keyLength, int blockLength) override;
    int EncryptBlock(const BYTE* in, BYTE* out) const override;
    int DecryptBlock(const BYTE* in, BYTE* out) const override;
    int BlockLength() const override { return blockLength_; }
    // The key length last given to SetKey, also when SetKey refused it.
    int KeyLength() const { return keyLength_; }

private:
    enum ScheduleUse : uint32_t { kScheduleUnset = 0, kScheduleEncrypt = 1, kScheduleDecrypt = 2 };

    struct KeySchedule {
        uint32_t roundKeys[60];
        int rounds;
        uint32_t use;
    };

    static bool ExpandEncryption(const BYTE* key, int keyLength, KeySchedule& schedule);
    static bool ExpandDecryption(const KeySchedule& encryption, KeySchedule& schedule);
    void ClearSchedules();

    int32_t blockLength_ = 0;
    int32_t keyLength_ = 0;
    KeySchedule encrypt_ = {};
    KeySchedule decrypt_ = {};
};
