#include "tool/csv/CsvField.h"

namespace Quelmar {

CString QuoteCsvField(const CString& text)
{
    const CString::Buffer& t = text.Text();
    if (t.find(static_cast<WCHAR>('"')) != CString::Buffer::npos) {
        CString quoted(_T("\""));
        for (WCHAR ch : t) {
            quoted += ch;
            if (ch == '"') {
                quoted += ch;
            }
        }
        quoted += _T("\"");
        return quoted;
    }
    if (t.find_first_of(_T(",\r\n")) != CString::Buffer::npos) {
        return _T("\"") + text + _T("\"");
    }
    return text;
}

CString UnquoteCsvField(const CString& text)
{
    CString body = text;
    const int length = text.GetLength();
    // A lone quote is not an enclosed field: it has no closing quote of its own.
    if (length >= 2 && text[0] == '"' && text.ReverseFind('"') == length - 1) {
        body = text.Mid(1, length - 2);
    }
    body.Replace(_T("\"\""), _T("\""));
    return body;
}

}  // namespace Quelmar
