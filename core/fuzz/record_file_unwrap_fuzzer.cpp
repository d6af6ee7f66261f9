//
//  The record file's unwrap over arbitrary file images, as the setting file.
//
#include "core/store/RecordFile.h"
#include "core/store/StoreConstants.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const BYTE key[16] = {0xA9, 0xC3, 0x71, 0x5E, 0x6F, 0xB4, 0x08, 0x2D};
    EncryptedRecordFile file(StoreConstants::kSettingRecordName, _T("Setting.dat"), key, 16);
    std::vector<BYTE> image(data, data + size);
    if (file.Unwrap(image) == 1 && image.size() > size) {
        __builtin_trap();
    }
    return 0;
}
