#pragma once
#include "core/model/WhitelistEntry.h"

namespace Quelmar {

// Decides whether a device is the one a whitelist entry names. Only the fields whose use-flag
// is set are compared: ids as 16-bit values, strings exactly (case-sensitive, untrimmed). An
// entry that selects no field matches every device; a matcher bound to no entry matches none.
class WhitelistEntryMatcher {
public:
    explicit WhitelistEntryMatcher(const WhitelistEntry* entry = nullptr) : entry_(entry) {}
    virtual ~WhitelistEntryMatcher() = default;

    // 1 when the device matches, else 0.
    virtual BOOL Matches(const UsbDeviceIdentity& device) const;

private:
    const WhitelistEntry* entry_;   // not owned
};

}  // namespace Quelmar
