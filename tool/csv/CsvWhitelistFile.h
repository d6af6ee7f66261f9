#pragma once
//
//  The whitelist CSV routines that the CSV dialog's worker threads run. Windows builds only.
//
//  Failures to open, read, decode or write the file throw CFileException; a file larger than
//  the whole-file reader takes (64 MiB, far beyond any whitelist) is refused the same way.
//  Problems of single lines never leave these routines: they become error texts.
//
#include "tool/csv/CsvWhitelistText.h"

namespace Quelmar {

// Line breaks in the file (CR, LF and CR LF each one), for the progress range.
int CountCsvLines(const CsvFileJob& job);

// Appends the file's accepted rows to entries and one error text per rejected line to errors.
void ReadWhitelistCsv(CsvErrorList& errors, const CsvFileJob& job, Whitelist& entries);

// Creates or replaces the file with one row per entry, in the thread's ANSI code page. The
// text goes to a new file beside it, which takes its place only once written whole: after any
// failure a file already at the path keeps its bytes, and no new file is left.
void WriteWhitelistCsv(const CsvFileJob& job, const Whitelist& entries);

}  // namespace Quelmar
