//
//  The unlock decision by unlock mode, password digest and key device.
//
#include "tool/PasswordVerifier.h"

#include <gtest/gtest.h>

namespace {

UsbStorageDevice Stick(WORD vid, WORD pid, const wchar_t* serial)
{
    UsbStorageDevice device;
    device.vendorId = vid;
    device.productId = pid;
    device.serialNumber = serial;
    return device;
}

Quelmar::PasswordData Protection(int password, int key, int mode)
{
    Quelmar::PasswordData data;
    data.passwordSet = password;
    Quelmar::PasswordDigest digest(2);
    digest.Compute(L"secret");
    data.passwordDigest = digest.bytes;
    data.keyDeviceSet = key;
    data.keyDevice.vendorId = 0x0781;
    data.keyDevice.productId = 0x5567;
    data.keyDevice.serialNumber = L"4C53ab";
    data.unlockMode = mode;
    return data;
}

}  // namespace

TEST(PasswordDigest, IsMd5OverLittleEndianCodeUnitsWithoutTerminator)
{
    Quelmar::PasswordDigest digest(2);
    ASSERT_TRUE(digest.Compute(L""));
    // MD5 of no bytes: an empty password is hashed like any other.
    const std::vector<BYTE> empty = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                     0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    EXPECT_EQ(digest.bytes, empty);
    // "a" as UTF-16LE is 61 00: MD5 4144e195f46de78a3623da7364d04f11.
    ASSERT_TRUE(digest.Compute(L"a"));
    const std::vector<BYTE> a = {0x41, 0x44, 0xe1, 0x95, 0xf4, 0x6d, 0xe7, 0x8a,
                                 0x36, 0x23, 0xda, 0x73, 0x64, 0xd0, 0x4f, 0x11};
    EXPECT_EQ(digest.bytes, a);
}

TEST(PasswordVerifier, UnlocksByModeAsConfigured)
{
    const std::vector<UsbStorageDevice> withKey = {Stick(0x0781, 0x5567, L"4C53ab")};
    const std::vector<UsbStorageDevice> none;
    struct Case {
        int password, key, mode;
        const wchar_t* entered;
        bool keyAttached;
        int expected;
    };
    const Case cases[] = {
        {1, 1, 1, L"secret", false, 1}, {1, 1, 1, L"wrong", true, 1},  {1, 1, 1, L"wrong", false, 0},
        {1, 1, 2, L"secret", true, 1},  {1, 1, 2, L"secret", false, 0}, {1, 1, 2, L"wrong", true, 0},
        {1, 1, 0, L"secret", true, 0},  {1, 1, 3, L"secret", true, 0},  {1, 0, 2, L"secret", false, 1},
        {1, 0, 1, L"wrong", true, 0},   {0, 1, 2, L"", true, 1},        {0, 1, 1, L"secret", false, 0},
        {0, 0, 1, L"secret", true, 0},
    };
    for (const Case& c : cases) {
        const Quelmar::PasswordData data = Protection(c.password, c.key, c.mode);
        const CString entered(c.entered);
        Quelmar::PasswordVerifier verifier(2, &data, &entered);
        EXPECT_EQ(verifier.CanUnlock(c.keyAttached ? withKey : none), c.expected)
            << c.password << c.key << c.mode << " " << c.keyAttached;
    }
}

TEST(PasswordVerifier, KeyMustMatchIdsAndSerialExactly)
{
    const Quelmar::PasswordData data = Protection(0, 1, 1);
    const CString entered;
    Quelmar::PasswordVerifier verifier(2, &data, &entered);
    EXPECT_EQ(verifier.KeyDevicePresent({Stick(0x0781, 0x5567, L"4C53AB")}), 0);
    EXPECT_EQ(verifier.KeyDevicePresent({Stick(0x0781, 0x5567, L"4C53ab ")}), 0);
    EXPECT_EQ(verifier.KeyDevicePresent({Stick(0x0781, 0x5568, L"4C53ab")}), 0);
    EXPECT_EQ(verifier.KeyDevicePresent({Stick(0x0782, 0x5567, L"4C53ab")}), 0);
    EXPECT_EQ(verifier.KeyDevicePresent({Stick(1, 2, L"x"), Stick(0x0781, 0x5567, L"4C53ab")}), 1);
}

TEST(PasswordVerifier, NothingUnlocksWithoutPasswordData)
{
    const CString entered(L"secret");
    Quelmar::PasswordVerifier verifier(2, nullptr, &entered);
    EXPECT_EQ(verifier.PasswordMatches(), 0);
    EXPECT_EQ(verifier.CanUnlock({Stick(0x0781, 0x5567, L"4C53ab")}), 0);
}
