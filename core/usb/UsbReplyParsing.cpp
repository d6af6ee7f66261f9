#include "core/usb/UsbReplyParsing.h"

namespace {

const BYTE kStringDescriptorType = 3;

bool IsSpace(WCHAR ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

int HexDigit(WCHAR ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Like %x: leading white space, an optional 0x, then at least one digit. Digits beyond 32
// bits wrap; callers keep the low 16.
bool ScanHex(const WCHAR*& at, DWORD& value)
{
    const WCHAR* cursor = at;
    while (IsSpace(*cursor))
        ++cursor;
    if (cursor[0] == '0' && (cursor[1] == 'x' || cursor[1] == 'X') && HexDigit(cursor[2]) >= 0)
        cursor += 2;
    if (HexDigit(*cursor) < 0)
        return false;
    value = 0;
    for (int digit; (digit = HexDigit(*cursor)) >= 0; ++cursor)
        value = value * 16 + DWORD(digit);
    at = cursor;
    return true;
}

bool ScanLiteral(const WCHAR*& at, const WCHAR* literal)
{
    const WCHAR* cursor = at;
    for (; *literal; ++literal, ++cursor)
        if (*cursor != *literal)
            return false;
    at = cursor;
    return true;
}

}  // namespace

bool AcceptStringDescriptor(const BYTE* request, size_t requestBytes, DWORD returned, std::vector<BYTE>& descriptor)
{
    if (requestBytes < kDescriptorRequestHeader + 2 || returned < kDescriptorRequestHeader + 2 || returned > requestBytes)
        return false;
    const BYTE* data = request + kDescriptorRequestHeader;
    const DWORD length = data[0];
    // A descriptor shorter than its own header would leave a negative count of characters.
    if (length < 2 || data[1] != kStringDescriptorType || returned != length + kDescriptorRequestHeader || (length & 1) != 0)
        return false;
    descriptor.assign(data, data + length);
    return true;
}

CString TextFromLittleEndianBytes(const BYTE* bytes, size_t count)
{
    std::vector<WCHAR> text(count / 2 + 1, 0);
    for (size_t i = 0; i < count / 2; ++i)
        text[i] = WCHAR(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return CString(text.data(), count / 2);
}

int ScanUsbInstanceId(const CString& id, DWORD& vendor, DWORD& product, CString& rest)
{
    const WCHAR* at = id.GetString();
    if (!ScanLiteral(at, _T("USB\\VID_")) || !ScanHex(at, vendor))
        return 0;
    if (!ScanLiteral(at, _T("&PID_")) || !ScanHex(at, product))
        return 1;
    if (!ScanLiteral(at, _T("\\")))
        return 2;
    while (IsSpace(*at))
        ++at;
    const WCHAR* start = at;
    while (*at && !IsSpace(*at))
        ++at;
    if (at == start)
        return 2;
    rest = CString(start, size_t(at - start));
    return 3;
}
