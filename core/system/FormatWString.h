#pragma once
//
//  printf-style formatting into a wide string that grows as needed. Windows builds only.
//
#include <cstdarg>
#include <string>

// Throws std::length_error when the text would pass 0x7FFFFFFE characters.
void FormatWString(std::wstring& output, const wchar_t* format, va_list arguments);
