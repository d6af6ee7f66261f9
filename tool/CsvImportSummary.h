#pragma once
//
//  The texts around a CSV import's rejected lines: the short list the summary box shows and
//  the error log's place beside the CSV file.
//
#include "tool/csv/CsvWhitelistText.h"

// The summary box lists this many rejected lines at most, each cut to this many characters.
constexpr size_t kSummaryErrorLines = 20;
constexpr int kSummaryLineLength = 30;

// Appends the first 20 error texts (each already ended by CR LF), a longer one as its first
// 30 characters and "...\r\n"; when more follow, one "...\r\n" line in their place.
void AppendSummaryErrorLines(CString& summary, const Quelmar::CsvErrorList& errors);

// logName in the folder of csvPath: the text before its last backslash (empty when it has
// none) and one backslash unless the folder already ends with one.
CString CsvErrorLogPath(const CString& csvPath, const CString& logName);
