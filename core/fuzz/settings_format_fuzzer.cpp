//
//  The setting payload comes from a file anyone with write access to the folder could have
//  replaced. Every version's reader must take any bytes without reading out of bounds or
//  allocating from a count; what a reader accepts must survive being written and read again.
//
#include "core/format/SettingSerializerV3.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace Quelmar;

namespace {

void Require(bool condition)
{
    if (!condition) {
        abort();
    }
}

template <class Serializer, class Record, class Same>
void ReadWriteRead(const std::vector<BYTE>& payload, Same same)
{
    Serializer serializer;
    Record first;
    if (!serializer.Read(payload, first)) {
        return;
    }
    std::vector<BYTE> written;
    Serializer().Write(first, written);
    Record second;
    Require(Serializer().Read(written, second) == TRUE);
    Require(same(first, second));
    // Text is cut at a zero code unit and odd counts drop a byte, so a read never grows.
    Require(written.size() <= payload.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<BYTE> payload(data, data + size);
    ReadWriteRead<SettingSerializerV1, SettingV1>(payload, [](const SettingV1& a, const SettingV1& b) {
        return a.usbControlEnabled == b.usbControlEnabled && EqualWhitelists(a.whitelist, b.whitelist) &&
               a.outsidePolicy == b.outsidePolicy && a.blockPortableDevices == b.blockPortableDevices &&
               a.blockCdWriting == b.blockCdWriting;
    });
    ReadWriteRead<SettingSerializerV2, SettingV2>(payload, [](const SettingV2& a, const SettingV2& b) {
        return EqualSettings(a, b) != FALSE;
    });
    ReadWriteRead<SettingSerializerV3, SettingV3>(payload, [](const SettingV3& a, const SettingV3& b) {
        return EqualSettings(a, b) && a.blockInternalSd == b.blockInternalSd;
    });
    return 0;
}
