#pragma once
//
//  What protects the setting tool: a password (kept only as its digest) and/or a USB key
//  device, and whether either one or both are needed to unlock it.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <vector>

namespace Quelmar {

// The password part, shared with the tool's password verifier.
class PasswordRecord {
public:
    PasswordRecord() = default;
    PasswordRecord(const PasswordRecord&) = default;
    PasswordRecord& operator=(const PasswordRecord&) = default;
    PasswordRecord(PasswordRecord&&) = default;
    PasswordRecord& operator=(PasswordRecord&&) = default;
    virtual ~PasswordRecord() = default;

    int passwordSet = 0;
    std::vector<BYTE> passwordDigest;
};

// The USB device whose presence unlocks the tool.
class KeyDeviceId {
public:
    KeyDeviceId() = default;
    KeyDeviceId(const KeyDeviceId&) = default;
    KeyDeviceId& operator=(const KeyDeviceId&) = default;
    KeyDeviceId(KeyDeviceId&&) = default;
    KeyDeviceId& operator=(KeyDeviceId&&) = default;
    virtual ~KeyDeviceId() = default;

    void Clear();

    WORD vendorId = 0;
    WORD productId = 0;
    CString serialNumber;
};

enum UnlockMode : int {
    UnlockModeUnset = 0,
    UnlockModeEither = 1,   // password or key device
    UnlockModeBoth = 2,
};

class PasswordData : public PasswordRecord {
public:
    PasswordData() = default;
    PasswordData(const PasswordData&) = default;
    PasswordData& operator=(const PasswordData&) = default;
    PasswordData(PasswordData&&) = default;
    PasswordData& operator=(PasswordData&&) = default;
    ~PasswordData() override = default;

    int keyDeviceSet = 0;
    KeyDeviceId keyDevice;
    int unlockMode = UnlockModeUnset;
};

// Copies every field.
void AssignPasswordData(PasswordData& dst, const PasswordData& src);

}  // namespace Quelmar
