#include "tool/csv/CsvWhitelistReader.h"

#include "tool/csv/CsvField.h"

#include <algorithm>

namespace Quelmar {

namespace {

bool IsBreak(WCHAR ch)
{
    return ch == '\r' || ch == '\n';
}

// Copies count units into target, reusing its buffer: a line and its fields are read once per
// row of a file that may hold many thousand rows.
void AssignUnits(CString& target, const WCHAR* units, size_t count)
{
    target.Empty();
    if (count == 0) {
        return;
    }
    WCHAR* buffer = target.GetBuffer(static_cast<int>(count));
    std::copy(units, units + count, buffer);
    target.ReleaseBuffer(static_cast<int>(count));
}

}  // namespace

CsvWhitelistReader::CsvWhitelistReader(const CString& text)
    : text_(text)
{
}

int CsvWhitelistReader::ReadLine()
{
    line_.Empty();
    if (linePosition_ < 0) {
        return 0;
    }
    const CString::Buffer& t = text_.Text();
    const size_t length = t.size();
    const size_t start = static_cast<size_t>(linePosition_);

    // One pass for the earliest CR, LF or quote: searching for each of the three separately
    // from every line start would read the rest of the text once per line.
    size_t i = start;
    while (i < length) {
        const WCHAR ch = t[i];
        if (IsBreak(ch)) {
            break;
        }
        if (ch == '"') {
            const size_t closing = t.find(static_cast<WCHAR>('"'), i + 1);
            if (closing == CString::Buffer::npos) {
                i = length;
                break;
            }
            i = closing;
        }
        ++i;
    }

    ++lineCount_;
    if (i >= length) {
        AssignUnits(line_, t.data() + start, length - start);
        linePosition_ = -1;
        return 0;
    }
    AssignUnits(line_, t.data() + start, i - start);
    while (i < length && IsBreak(t[i])) {
        ++i;
    }
    if (i >= length) {
        linePosition_ = -1;
        return 0;
    }
    linePosition_ = static_cast<int>(i);
    return 1;
}

int CsvWhitelistReader::ReadField()
{
    field_.Empty();
    const CString::Buffer& line = line_.Text();
    const size_t length = line.size();
    if (fieldPosition_ < 0 || static_cast<size_t>(fieldPosition_) >= length) {
        return 0;
    }
    const size_t start = static_cast<size_t>(fieldPosition_);

    if (line[start] == '"') {
        // Every look at the character after a quote is checked against the line's end: a
        // quote may be the last character of the line.
        size_t i = start + 1;
        while (i < length) {
            if (line[i] != '"') {
                ++i;
                continue;
            }
            if (i + 1 == length) {
                field_ = UnquoteCsvField(CString(line.data() + start, length - start));
                fieldPosition_ = -1;
                return 0;
            }
            if (line[i + 1] == ',') {
                field_ = UnquoteCsvField(CString(line.data() + start, i + 1 - start));
                fieldPosition_ = static_cast<int>(i + 2);
                return 1;
            }
            i += line[i + 1] == '"' ? 2 : 1;
        }
        fieldPosition_ = -1;
        return 0;
    }

    const size_t comma = line.find(static_cast<WCHAR>(','), start);
    if (comma == CString::Buffer::npos) {
        AssignUnits(field_, line.data() + start, length - start);
        fieldPosition_ = -1;
        return 0;
    }
    AssignUnits(field_, line.data() + start, comma - start);
    fieldPosition_ = static_cast<int>(comma + 1);
    return 1;
}

}  // namespace Quelmar
