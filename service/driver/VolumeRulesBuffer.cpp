#include "service/driver/VolumeRulesBuffer.h"

namespace Quelmar {

namespace {

void PutDword(std::vector<BYTE>& bytes, DWORD value)
{
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<BYTE>(value >> shift));
    }
}

}  // namespace

std::vector<BYTE> BuildVolumeRulesBuffer(LONG mode, const VolumePolicyMap& map)
{
    size_t size = 8;
    for (const auto& entry : map) {
        size += 8 + 2 * static_cast<size_t>(entry.first.GetLength());
    }
    std::vector<BYTE> bytes;
    bytes.reserve(size);
    PutDword(bytes, static_cast<DWORD>(mode));
    PutDword(bytes, static_cast<DWORD>(map.size()));
    for (const auto& [name, state] : map) {
        PutDword(bytes, static_cast<DWORD>(name.GetLength()) * 2);
        for (WCHAR ch : name.Text()) {
            bytes.push_back(static_cast<BYTE>(ch & 0xFF));
            bytes.push_back(static_cast<BYTE>((ch >> 8) & 0xFF));
        }
        PutDword(bytes, static_cast<DWORD>(state));
    }
    return bytes;
}

}  // namespace Quelmar
