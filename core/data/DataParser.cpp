#include "core/data/DataParser.h"

#include <stdexcept>

DataParser::DataParser(const BYTE* first, DWORD length)
    : cursor_(first), left_(first != nullptr ? length : 0)
{
}

DataParser::DataParser(const std::vector<BYTE>& bytes)
    : cursor_(bytes.data()), left_(0)
{
    if (bytes.size() > 0xFFFFFFFFu) {
        throw std::length_error("DataParser: more than 4 GiB of input");
    }
    left_ = static_cast<DWORD>(bytes.size());
}

// Callers have checked that four bytes are left.
DWORD DataParser::TakeU32()
{
    const DWORD value = static_cast<DWORD>(cursor_[0]) |
                        static_cast<DWORD>(cursor_[1]) << 8 |
                        static_cast<DWORD>(cursor_[2]) << 16 |
                        static_cast<DWORD>(cursor_[3]) << 24;
    cursor_ += 4;
    left_ -= 4;
    return value;
}

int DataParser::ReadU16(WORD& value)
{
    if (left_ < 2) {
        return 1;
    }
    value = static_cast<WORD>(cursor_[0] | cursor_[1] << 8);
    cursor_ += 2;
    left_ -= 2;
    return 0;
}

int DataParser::ReadU32(DWORD& value)
{
    if (left_ < 4) {
        return 1;
    }
    value = TakeU32();
    return 0;
}

int DataParser::ReadU32(int& value)
{
    DWORD raw = 0;
    if (ReadU32(raw) != 0) {
        return 1;
    }
    value = static_cast<int>(raw);
    return 0;
}

int DataParser::ReadU64(ULONGLONG& value)
{
    if (left_ < 8) {
        return 1;
    }
    const ULONGLONG low = TakeU32();
    const ULONGLONG high = TakeU32();
    value = high << 32 | low;
    return 0;
}

int DataParser::ReadU64(LONGLONG& value)
{
    ULONGLONG raw = 0;
    if (ReadU64(raw) != 0) {
        return 1;
    }
    value = static_cast<LONGLONG>(raw);
    return 0;
}

int DataParser::ReadString(CString& text)
{
    WideText units;
    if (ReadString(units) != 0) {
        return 1;
    }
    text = CString(units.data(), units.size());
    return 0;
}

int DataParser::ReadString(WideText& text)
{
    if (left_ < 4) {
        return 1;
    }
    const BYTE* const start = cursor_;
    const DWORD count = TakeU32();
    if (count > left_) {
        // Put the cursor back onto the count, as if nothing had been read.
        cursor_ = start;
        left_ += 4;
        return 1;
    }
    // The count is now bounded by bytes that exist, so the string never grows beyond them.
    const DWORD units = count / 2;
    text.resize(units);
    for (DWORD i = 0; i < units; ++i) {
        text[i] = static_cast<WCHAR>(cursor_[2 * i] | cursor_[2 * i + 1] << 8);
    }
    cursor_ += 2 * units;
    left_ -= 2 * units;
    return 0;
}

int DataParser::ReadBytes(std::vector<BYTE>& bytes)
{
    if (left_ < 4) {
        return 1;
    }
    const BYTE* const start = cursor_;
    const DWORD count = TakeU32();
    if (count > left_) {
        cursor_ = start;
        left_ += 4;
        return 1;
    }
    bytes.assign(cursor_, cursor_ + count);
    cursor_ += count;
    left_ -= count;
    return 0;
}

void DataParser::RestToBytes(std::vector<BYTE>& bytes) const
{
    if (left_ == 0) {
        bytes.clear();
        return;
    }
    bytes.assign(cursor_, cursor_ + left_);
}
