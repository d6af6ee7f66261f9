#pragma once
//
//  Quoting of one CSV field: the writer's rule and its inverse.
//
#include "classlib/CString.h"

namespace Quelmar {

// A text holding a double quote gets every quote doubled and is enclosed in quotes; one holding
// a comma, CR or LF is enclosed; any other text is left as it is.
CString QuoteCsvField(const CString& text);

// A text of at least two characters that begins with a quote and whose last quote is its last
// character loses both; then every pair of quotes becomes one.
CString UnquoteCsvField(const CString& text);

}  // namespace Quelmar
