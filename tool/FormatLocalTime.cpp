#include "tool/FormatLocalTime.h"

#include <ctime>
#include <cwchar>

CString FormatLocalTime(const wchar_t* format, int64_t time)
{
    // An unchecked conversion would format whatever the tm held before; the caller shows or
    // names a file after the text, so a failure gives nothing rather than garbage.
    struct tm local = {};
    const __time64_t value = static_cast<__time64_t>(time);
    if (_localtime64_s(&local, &value) != 0) {
        return CString();
    }
    // Some runtimes hand back a cut text instead of 0 when it does not fit; one spare code
    // unit tells that apart from a text that fits the 128-unit buffer with its terminator.
    constexpr size_t kBufferLength = 128;
    wchar_t buffer[kBufferLength + 1] = {};
    const size_t length = wcsftime(buffer, kBufferLength + 1, format, &local);
    if (length == 0 || length >= kBufferLength) {
        return CString();
    }
    return CString(buffer, length);
}
