#pragma once
//
//  The unlock decision: whether an entered password and the attached USB devices open the
//  tool under the configured unlock mode.
//
#include "classlib/CString.h"
#include "core/model/PasswordData.h"
#include "core/usb/UsbStorageDevice.h"

#include <vector>

namespace Quelmar {

// The digest of a password text: the hash family's member of hashType over the text's UTF-16
// code units, little-endian, without a terminator.
class PasswordDigest {
public:
    explicit PasswordDigest(int hashType = 2) : hashType(hashType) {}

    // Replaces bytes with the digest of text; FALSE (bytes empty) when the type has no member.
    BOOL Compute(const CString& text);
    // Equal lengths and equal bytes.
    BOOL Equals(const std::vector<BYTE>& other) const { return bytes == other; }

    int hashType;
    std::vector<BYTE> bytes;
};

class PasswordVerifier : public PasswordRecord {
public:
    PasswordVerifier(int hashType, const PasswordData* passwordData, const CString* enteredText)
        : digest(hashType), passwordData(passwordData), enteredText(enteredText)
    {
    }

    // 1 when password protection is on and the entered text hashes to the stored digest.
    int PasswordMatches();
    // 1 when the key device is on and some device has its product id, vendor id and serial
    // number (exact text, case-sensitive).
    int KeyDevicePresent(const std::vector<UsbStorageDevice>& devices) const;
    // The decision by unlock mode: password or key in mode 1, both in mode 2, never in any
    // other mode when both are on; the one that is on when only one is.
    int CanUnlock(const std::vector<UsbStorageDevice>& devices);

    PasswordDigest digest;
    const PasswordData* passwordData;   // not owned
    const CString* enteredText;         // not owned
};

}  // namespace Quelmar
