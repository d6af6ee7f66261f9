#pragma once
//
//  DataParser: the read cursor over a byte range that every binary format of the system is
//  read with. Values are little-endian and packed; strings and byte blocks carry a 32-bit byte
//  count in front of them.
//
//  Each read returns 0 on success and 1 when the bytes run out. A failed read leaves the cursor
//  where it was and the destination untouched, so a caller can give up or try another layout
//  without having consumed anything. The cursor never owns the bytes: whoever built it keeps
//  them alive while it is used.
//
//  The cursor, the writer (DataSerializer) and the transfer (DataTransfer) are the storage
//  framework's concrete classes and live at global scope, as the session programs that carry
//  their own copy of them expect; the framework's interfaces live in namespace Data
//  (core/data/DataInterfaces.h).
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <string>
#include <vector>

class DataParser {
public:
    typedef std::basic_string<WCHAR> WideText;

    DataParser(const BYTE* first, DWORD length);
    explicit DataParser(const std::vector<BYTE>& bytes);
    // A cursor over a temporary would dangle as soon as the statement ends.
    explicit DataParser(const std::vector<BYTE>&& bytes) = delete;
    virtual ~DataParser() = default;

    DataParser(const DataParser&) = default;
    DataParser& operator=(const DataParser&) = default;

    int ReadU16(WORD& value);
    int ReadU32(DWORD& value);
    int ReadU32(int& value);    // the same four bytes, taken as signed
    int ReadU64(ULONGLONG& value);
    int ReadU64(LONGLONG& value);

    // A 32-bit byte count n, then n / 2 UTF-16 code units. An odd count leaves its last byte
    // unread, as the first byte of the next field. The text is taken as it stands, zero code
    // units included; the class library's string cuts it at the first zero.
    int ReadString(WideText& text);
    // The same, kept up to its first zero code unit, as the class library's string keeps it.
    int ReadString(CString& text);
    // A 32-bit byte count n, then n bytes.
    int ReadBytes(std::vector<BYTE>& bytes);
    // Copies every unread byte; the cursor does not move.
    void RestToBytes(std::vector<BYTE>& bytes) const;

    DWORD Left() const { return left_; }

private:
    DWORD TakeU32();

    const BYTE* cursor_;
    DWORD left_;
};
