#pragma once
//
//  A 64-bit time (seconds since 1970, UTC) as local time in a wcsftime format. Windows builds only.
//
#include "classlib/CString.h"

#include <cstdint>

// Empty when the time has no local form (out of range) or the text exceeds 127 characters.
CString FormatLocalTime(const wchar_t* format, int64_t time);
