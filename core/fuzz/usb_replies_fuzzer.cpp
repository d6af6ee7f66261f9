//
//  String descriptor replies and USB instance ids as a misbehaving driver or a crafted device
//  could hand them over: the first four bytes are the count the driver reports, the rest is
//  the request buffer it answered into, and also, read as UTF-16LE, an instance id.
//
#include "core/usb/UsbReplyParsing.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    DWORD returned = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
    std::vector<BYTE> request(data + 4, data + size);
    std::vector<BYTE> descriptor;
    if (AcceptStringDescriptor(request.data(), request.size(), returned, descriptor)) {
        if (descriptor.size() < 2 || descriptor.size() != descriptor[0] || descriptor[1] != 3)
            __builtin_trap();
        TextFromLittleEndianBytes(descriptor.data() + 2, descriptor.size() - 2);
    }
    CString id = TextFromLittleEndianBytes(request.data(), request.size());
    DWORD vendor = 0, product = 0;
    CString rest;
    int fields = ScanUsbInstanceId(id, vendor, product, rest);
    if (fields < 0 || fields > 3 || (fields < 3 && !rest.IsEmpty()))
        __builtin_trap();
    return 0;
}
