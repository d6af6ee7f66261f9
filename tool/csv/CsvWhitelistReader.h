#pragma once
//
//  Splits the text of a whitelist CSV into lines and a line into fields.
//
//  A line ends at CR or LF outside double quotes, and a run of CR and LF characters is one
//  break, so blank lines neither yield lines nor count. Everything between the breaks is kept
//  as it is, a line break inside a quoted text included.
//
#include "classlib/CString.h"

namespace Quelmar {

class CsvWhitelistReader {
public:
    explicit CsvWhitelistReader(const CString& text);
    CsvWhitelistReader(const CsvWhitelistReader&) = delete;
    CsvWhitelistReader& operator=(const CsvWhitelistReader&) = delete;
    virtual ~CsvWhitelistReader() = default;

    // Reads the next line into Line() and counts it. 1 when another line may follow, 0 when
    // this was the last one (or none was left, and Line() is empty).
    int ReadLine();

    // Reads the next field of the current line into Field(). 1 when a comma followed it, 0 when
    // it was the last field or none was left (Field() then empty).
    int ReadField();

    // Starts the field scan of the current line again from its first field.
    void RewindFields() { fieldPosition_ = 0; }

    const CString& Line() const { return line_; }
    const CString& Field() const { return field_; }
    int LineCount() const { return lineCount_; }

private:
    CString text_;
    CString line_;
    CString field_;
    int linePosition_ = 0;    // where the next line starts in text_, -1 when none is left
    int fieldPosition_ = -1;  // where the next field starts in line_, -1 when none is left
    int lineCount_ = 0;
};

}  // namespace Quelmar
