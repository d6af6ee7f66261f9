//
//  Drives the byte cursor with a script taken from the input: each script byte picks a read.
//  Every read must stay inside the range, and a failed read must leave the cursor where it was.
//
#include "core/data/DataParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    // First byte: how many of the following bytes are the script; the rest is the data.
    const size_t scriptLength = data[0] % 16 < size - 1 ? data[0] % 16 : size - 1;
    const uint8_t* script = data + 1;
    const std::vector<BYTE> bytes(data + 1 + scriptLength, data + size);

    DataParser parser(bytes);
    for (size_t i = 0; i < scriptLength; ++i) {
        const DWORD before = parser.Left();
        int result = 0;
        DWORD consumed_at_least = 0;
        switch (script[i] % 6) {
        case 0: { WORD v; result = parser.ReadU16(v); consumed_at_least = 2; break; }
        case 1: { DWORD v; result = parser.ReadU32(v); consumed_at_least = 4; break; }
        case 2: { ULONGLONG v; result = parser.ReadU64(v); consumed_at_least = 8; break; }
        case 3: { DataParser::WideText t; result = parser.ReadString(t); consumed_at_least = 4 + 2 * static_cast<DWORD>(t.size()); break; }
        case 4: { std::vector<BYTE> b; result = parser.ReadBytes(b); consumed_at_least = 4 + static_cast<DWORD>(b.size()); break; }
        default: { std::vector<BYTE> b; parser.RestToBytes(b); if (b.size() != before) abort(); break; }
        }
        if (result != 0 && parser.Left() != before) {
            abort();
        }
        if (result == 0 && before - parser.Left() < consumed_at_least) {
            abort();
        }
    }
    return 0;
}
