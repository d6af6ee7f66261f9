#include "core/model/PasswordData.h"

namespace Quelmar {

void KeyDeviceId::Clear()
{
    vendorId = 0;
    productId = 0;
    serialNumber.Empty();
}

void AssignPasswordData(PasswordData& dst, const PasswordData& src)
{
    if (&dst != &src) {
        dst = src;
    }
}

}  // namespace Quelmar
