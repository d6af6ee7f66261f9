#pragma once
//
//  DataSerializer: the growing byte buffer that every binary format of the system is written
//  with. Values go out little-endian and packed, byte by byte, so the layout never depends on
//  how a compiler lays out a structure or how wide its wchar_t is.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <string>
#include <vector>

class DataSerializer {
public:
    DataSerializer() = default;
    virtual ~DataSerializer() = default;

    DataSerializer(const DataSerializer&) = default;
    DataSerializer& operator=(const DataSerializer&) = default;

    void WriteU16(WORD value);
    void WriteU32(DWORD value);
    void WriteU64(ULONGLONG value);     // low 32 bits first

    // A 32-bit byte count (two per code unit), then the code units; no terminator.
    void WriteString(const WCHAR* text, size_t units);
    // The class library's string holds no zero code unit, so its whole text is written.
    void WriteString(const CString& text);
    // A 32-bit byte count, then the bytes.
    void WriteBytes(const std::vector<BYTE>& bytes);
    // The bytes alone, without a count.
    void AppendVector(const std::vector<BYTE>& bytes);
    // The narrow text's bytes alone: no count, no terminator.
    void AppendText(const std::string& text);

    const std::vector<BYTE>& Bytes() const { return bytes_; }

private:
    std::vector<BYTE> bytes_;
};
