#include "tool/csv/CsvWhitelistText.h"

#include "tool/csv/CsvWhitelistReader.h"
#include "tool/csv/CsvWhitelistRow.h"
#include "tool/csv/CsvWhitelistWriter.h"

#include <algorithm>

namespace Quelmar {

namespace {

// "行目：" (line number suffix and full-width colon) of the import error text.
const WCHAR kLineSuffix[] = {0x884C, 0x76EE, 0xFF1A, 0};

CString DecimalText(int value)
{
    WCHAR digits[16];
    int count = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<WCHAR>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    CString text;
    if (value < 0) {
        text += static_cast<WCHAR>('-');
    }
    while (count > 0) {
        text += digits[--count];
    }
    return text;
}

}  // namespace

size_t CsvTextByteCount(const BYTE* bytes, size_t count)
{
    return static_cast<size_t>(std::find(bytes, bytes + count, BYTE(0)) - bytes);
}

size_t CountCsvLineBreaks(const BYTE* bytes, size_t count)
{
    const size_t length = CsvTextByteCount(bytes, count);
    size_t breaks = 0;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] == '\r') {
            ++breaks;
            if (i + 1 < length && bytes[i + 1] == '\n') {
                ++i;
            }
        } else if (bytes[i] == '\n') {
            ++breaks;
        }
    }
    return breaks;
}

CString CsvLineErrorText(int lineNumber, const CString& line)
{
    return DecimalText(lineNumber) + kLineSuffix + line + _T("\r\n");
}

void ParseWhitelistCsvText(CsvErrorList& errors, const CsvFileJob& job, const CString& text, Whitelist& entries)
{
    if (text.IsEmpty()) {
        return;
    }
    CsvWhitelistReader reader(text);
    int more = 1;
    while (more) {
        more = reader.ReadLine();
        try {
            ParseCsvRow(reader, entries);
        } catch (int) {
            // Only a rejected row is a per-line problem; anything else (memory) is the
            // caller's to see.
            errors.push_back(CsvLineErrorText(reader.LineCount(), reader.Line()));
        }
        job.ReportProgress();
    }
}

CString BuildWhitelistCsvDocument(const CsvFileJob& job, const Whitelist& entries)
{
    // CR LF is the row separator itself: turning every LF of the finished text into CR LF
    // would also rewrite line breaks inside quoted texts, which then no longer read back as
    // they were written.
    CsvWhitelistWriter writer(_T("\r\n"));
    for (const WhitelistEntry& entry : entries) {
        WriteCsvEntryRow(writer, entry);
        job.ReportProgress();
    }
    return writer.Document();
}

}  // namespace Quelmar
