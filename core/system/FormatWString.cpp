#include "core/system/FormatWString.h"

#include <cwchar>
#include <stdexcept>

#include <stdio.h>

void FormatWString(std::wstring& output, const wchar_t* format, va_list arguments)
{
    const size_t limit = 0x7FFFFFFE;
    size_t size = 512;
    for (;;) {
        output.resize(size);
        va_list copy;
        va_copy(copy, arguments);
        int written = _vsnwprintf(&output[0], size, format, copy);
        va_end(copy);
        // The runtime answers -1 when the text does not fit; a C99 runtime answers the full
        // length instead. A text that fills the buffer exactly has no room for its terminator.
        if (written >= 0 && static_cast<size_t>(written) < size) {
            output.resize(static_cast<size_t>(written));
            return;
        }
        if (size >= limit) {
            throw std::length_error("FormatWString: text too long");
        }
        size = size * 2 > limit ? limit : size * 2;
    }
}
