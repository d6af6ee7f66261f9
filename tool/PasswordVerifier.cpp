#include "tool/PasswordVerifier.h"

#include "core/crypto/HashAlgorithm.h"

#include <memory>

namespace Quelmar {

BOOL PasswordDigest::Compute(const CString& text)
{
    bytes.clear();
    std::unique_ptr<HashAlgorithm> hash(CreateHash(hashType));
    if (!hash) {
        return FALSE;
    }
    std::vector<BYTE> input;
    input.reserve(static_cast<size_t>(text.GetLength()) * 2);
    for (int i = 0; i < text.GetLength(); ++i) {
        const WCHAR unit = text[i];
        input.push_back(static_cast<BYTE>(unit & 0xFF));
        input.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    hash->Init();
    hash->Update(input.data(), input.size());
    hash->Final();
    std::vector<BYTE> out(hash->DigestSize());
    if (!hash->GetDigest(out.data(), out.size())) {
        return FALSE;
    }
    bytes.swap(out);
    return TRUE;
}

int PasswordVerifier::PasswordMatches()
{
    if (passwordData == nullptr || passwordData->passwordSet != 1) {
        return 0;
    }
    passwordDigest = passwordData->passwordDigest;
    const CString empty;
    if (!digest.Compute(enteredText != nullptr ? *enteredText : empty)) {
        return 0;
    }
    return digest.Equals(passwordDigest) ? 1 : 0;
}

int PasswordVerifier::KeyDevicePresent(const std::vector<UsbStorageDevice>& devices) const
{
    if (passwordData == nullptr || passwordData->keyDeviceSet != 1) {
        return 0;
    }
    const KeyDeviceId& key = passwordData->keyDevice;
    for (const UsbStorageDevice& device : devices) {
        if (device.productId == key.productId && device.vendorId == key.vendorId &&
            device.serialNumber == key.serialNumber) {
            return 1;
        }
    }
    return 0;
}

int PasswordVerifier::CanUnlock(const std::vector<UsbStorageDevice>& devices)
{
    if (passwordData == nullptr) {
        return 0;
    }
    const bool password = passwordData->passwordSet == 1;
    const bool key = passwordData->keyDeviceSet == 1;
    if (password && key) {
        switch (passwordData->unlockMode) {
        case UnlockModeEither:
            return PasswordMatches() || KeyDevicePresent(devices) ? 1 : 0;
        case UnlockModeBoth:
            return PasswordMatches() && KeyDevicePresent(devices) ? 1 : 0;
        default:
            return 0;
        }
    }
    if (password) {
        return PasswordMatches();
    }
    if (key) {
        return KeyDevicePresent(devices);
    }
    return 0;
}

}  // namespace Quelmar
