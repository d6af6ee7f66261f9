#include "core/data/DataSerializer.h"

#include <stdexcept>

namespace {

// A count field holds 32 bits; a longer block could not be read back as what was written.
DWORD CountFor(size_t bytes)
{
    if (bytes > 0xFFFFFFFFu) {
        throw std::length_error("DataSerializer: block longer than a 32-bit count");
    }
    return static_cast<DWORD>(bytes);
}

}  // namespace

void DataSerializer::WriteU16(WORD value)
{
    bytes_.push_back(static_cast<BYTE>(value));
    bytes_.push_back(static_cast<BYTE>(value >> 8));
}

void DataSerializer::WriteU32(DWORD value)
{
    bytes_.push_back(static_cast<BYTE>(value));
    bytes_.push_back(static_cast<BYTE>(value >> 8));
    bytes_.push_back(static_cast<BYTE>(value >> 16));
    bytes_.push_back(static_cast<BYTE>(value >> 24));
}

void DataSerializer::WriteU64(ULONGLONG value)
{
    WriteU32(static_cast<DWORD>(value));
    WriteU32(static_cast<DWORD>(value >> 32));
}

void DataSerializer::WriteString(const WCHAR* text, size_t units)
{
    if (units > 0x7FFFFFFFu) {
        throw std::length_error("DataSerializer: string longer than a 32-bit byte count");
    }
    WriteU32(CountFor(2 * units));
    bytes_.reserve(bytes_.size() + 2 * units);
    for (size_t i = 0; i < units; ++i) {
        const WORD unit = static_cast<WORD>(text[i]);
        bytes_.push_back(static_cast<BYTE>(unit));
        bytes_.push_back(static_cast<BYTE>(unit >> 8));
    }
}

void DataSerializer::WriteString(const CString& text)
{
    WriteString(text.GetString(), static_cast<size_t>(text.GetLength()));
}

void DataSerializer::WriteBytes(const std::vector<BYTE>& bytes)
{
    WriteU32(CountFor(bytes.size()));
    AppendVector(bytes);
}

void DataSerializer::AppendVector(const std::vector<BYTE>& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void DataSerializer::AppendText(const std::string& text)
{
    bytes_.insert(bytes_.end(), text.begin(), text.end());
}
