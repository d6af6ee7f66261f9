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
    const CString::Buffer& t = text.Text();
    size_t from = 0;
    size_t to = t.size();
    // A lone quote is not an enclosed field: it has no closing quote of its own.
    if (to >= 2 && t[0] == '"' && t.rfind(static_cast<WCHAR>('"')) == to - 1) {
        from = 1;
        to -= 1;
    }
    CString::Buffer body;
    body.reserve(to - from);
    for (size_t i = from; i < to; ++i) {
        body += t[i];
        if (t[i] == '"' && i + 1 < to && t[i + 1] == '"') {
            ++i;
        }
    }
    return CString(body.c_str(), body.size());
}

}  // namespace Quelmar
