#pragma once
//
//  The whitelist CSV's encoding: the thread's ANSI code page, both ways. Windows builds only.
//
#include "classlib/CString.h"

#include <string>

namespace Quelmar {

// Decodes count bytes (no zero among them). A conversion failure throws CFileException naming
// path.
CString AnsiBytesToText(const BYTE* bytes, size_t count, const CString& path);

// Encodes text; characters the code page cannot represent become its default character ("?"),
// also those for which the system knows a look-alike.
// A conversion failure throws CFileException naming path.
std::string TextToAnsiBytes(const CString& text, const CString& path);

}  // namespace Quelmar
