#pragma once
//
//  A vendor or product ID typed as hexadecimal text.
//
#include "classlib/CString.h"

// 1 when text has 1 to 4 characters that a base-16 conversion of a long integer consumes
// completely (leading white space, a plus sign and a 0x prefix allowed; a minus sign is
// refused); out (when given) then receives the low 16 bits. Else 0.
int ParseHexU16(const CString& text, WORD* out);
