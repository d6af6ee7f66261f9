#pragma once
#include "core/model/UsbDeviceIdentity.h"

namespace Quelmar {

// Access that a whitelist entry grants to a matching device. Other values are kept as they
// were stored.
enum WhitelistAttribute : int {
    WhitelistFullAccess = 0,
    WhitelistReadOnly = 2,
};

// One whitelist entry: an identity, which of its five fields take part in matching (non-zero
// means it does), and the access a matching device gets. attribute stays -1 until it is set.
class WhitelistEntry : public UsbDeviceIdentity {
public:
    WhitelistEntry() = default;
    WhitelistEntry(const WhitelistEntry&) = default;
    WhitelistEntry& operator=(const WhitelistEntry&) = default;
    WhitelistEntry(WhitelistEntry&&) = default;
    WhitelistEntry& operator=(WhitelistEntry&&) = default;
    ~WhitelistEntry() override = default;

    int useVendorId = 0;
    int useProductId = 0;
    int useSerialNumber = 0;
    int useManufacturer = 0;
    int useProduct = 0;
    int attribute = -1;
};

// 1 when the ids, the three strings (exactly), the five flags and the attribute are equal.
BOOL EqualWhitelistEntries(const WhitelistEntry& a, const WhitelistEntry& b);

}  // namespace Quelmar
