#pragma once
//
//  The whitelist CSV as text: the file's bytes counted for line breaks, its decoded text
//  parsed into entries and error texts, and entries turned into the text of a file. The
//  Windows routines (CsvWhitelistFile.h) add the file and the ANSI code page around these.
//
#include "core/model/Setting.h"
#include "tool/csv/CsvFileJob.h"

#include <cstddef>
#include <vector>

namespace Quelmar {

typedef std::vector<CString> CsvErrorList;

// The file's text ends at its first zero byte; the number of bytes before it.
size_t CsvTextByteCount(const BYTE* bytes, size_t count);

// Line breaks in the text before the first zero byte: each CR, each LF and each CR LF pair
// counts as one. A last line without a break is not counted; blank lines are.
size_t CountCsvLineBreaks(const BYTE* bytes, size_t count);

// "<n>行目：<line>\r\n", n counting non-empty lines from 1.
CString CsvLineErrorText(int lineNumber, const CString& line);

// Parses every line of text: accepted rows are appended to entries, each rejected line adds
// one error text. The job's callback is called after each line, valid or not.
void ParseWhitelistCsvText(CsvErrorList& errors, const CsvFileJob& job, const CString& text, Whitelist& entries);

// The text of a file holding entries, one row each, in list order, every row ended by CR LF.
// The job's callback is called after each row. Texts are written unchanged inside their
// quotes: a line break in a product name stays exactly the bytes it was.
CString BuildWhitelistCsvDocument(const CsvFileJob& job, const Whitelist& entries);

}  // namespace Quelmar
