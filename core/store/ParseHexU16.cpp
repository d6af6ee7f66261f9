#include "core/store/ParseHexU16.h"

namespace {

int HexDigit(WCHAR ch)
{
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

bool IsSpace(WCHAR ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

}  // namespace

int ParseHexU16(const CString& text, WORD* out)
{
    const int length = text.GetLength();
    if (length < 1 || length > 4) {
        return 0;
    }
    int i = 0;
    while (i < length && IsSpace(text[i])) {
        ++i;
    }
    // A minus sign would wrap "-1" to 0xFFFF and quietly name another vendor or product, so
    // only the plus sign is taken.
    if (i < length && text[i] == '-') {
        return 0;
    }
    if (i < length && text[i] == '+') {
        ++i;
    }
    // "0x" counts as a prefix only when a hex digit follows it, as in the C library.
    if (i + 2 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    const int firstDigit = i;
    long value = 0;
    for (; i < length && HexDigit(text[i]) >= 0; ++i) {
        value = value * 16 + HexDigit(text[i]);
    }
    if (i == firstDigit || i != length) {
        return 0;
    }
    if (out != nullptr) {
        *out = static_cast<WORD>(value & 0xFFFF);
    }
    return 1;
}
