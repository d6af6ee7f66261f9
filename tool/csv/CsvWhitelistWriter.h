#pragma once
//
//  Builds the text of a whitelist CSV row by row.
//
#include "classlib/CString.h"

namespace Quelmar {

class CsvWhitelistWriter {
public:
    explicit CsvWhitelistWriter(const CString& rowSeparator);
    CsvWhitelistWriter(const CsvWhitelistWriter&) = delete;
    CsvWhitelistWriter& operator=(const CsvWhitelistWriter&) = delete;
    virtual ~CsvWhitelistWriter() = default;

    // printf-style; the format is ASCII (the numeric columns: "%d", "0x%04X").
    void AddFormattedField(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Quotes text when it needs it and appends it, after a comma unless it opens the row.
    void AddField(const CString& text);
    void EndRow();

    const CString& Document() const { return document_; }

private:
    int firstField_ = 1;
    CString document_;
    CString rowSeparator_;
};

}  // namespace Quelmar
