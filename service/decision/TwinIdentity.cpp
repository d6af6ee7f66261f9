#include "service/decision/TwinIdentity.h"

namespace Quelmar {

namespace {

struct TwinPair {
    WORD vendorId;
    WORD productIds[2];
};

const TwinPair kTwinPairs[] = {
    {0x0411, {0x010C, 0x010D}},
    {0x20AA, {0x001A, 0x001B}},
    {0x0693, {0x0095, 0x0096}},
};

}  // namespace

bool GetTwinIdentity(const UsbDeviceIdentity& identity, UsbDeviceIdentity& twin)
{
    for (const TwinPair& pair : kTwinPairs) {
        if (pair.vendorId != identity.vendorId) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (pair.productIds[i] == identity.productId) {
                twin = identity;
                twin.productId = pair.productIds[1 - i];
                return true;
            }
        }
    }
    return false;
}

}  // namespace Quelmar
