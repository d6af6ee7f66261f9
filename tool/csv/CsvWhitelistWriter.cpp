#include "tool/csv/CsvWhitelistWriter.h"

#include "tool/csv/CsvField.h"

#include <cstdarg>
#include <cstdio>

namespace Quelmar {

CsvWhitelistWriter::CsvWhitelistWriter(const CString& rowSeparator)
    : rowSeparator_(rowSeparator)
{
}

void CsvWhitelistWriter::AddFormattedField(const char* format, ...)
{
    // The numeric columns are a few ASCII characters; a longer result would be a misuse.
    char narrow[64];
    va_list arguments;
    va_start(arguments, format);
    const int written = vsnprintf(narrow, sizeof narrow, format, arguments);
    va_end(arguments);
    CString text;
    for (int i = 0; i < written && i < static_cast<int>(sizeof narrow) - 1; ++i) {
        text += static_cast<WCHAR>(static_cast<unsigned char>(narrow[i]));
    }
    AddField(text);
}

void CsvWhitelistWriter::AddField(const CString& text)
{
    if (!firstField_) {
        document_ += static_cast<WCHAR>(',');
    }
    firstField_ = 0;
    document_ += QuoteCsvField(text);
}

void CsvWhitelistWriter::EndRow()
{
    firstField_ = 1;
    document_ += rowSeparator_;
}

}  // namespace Quelmar
