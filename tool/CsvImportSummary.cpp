#include "tool/CsvImportSummary.h"

void AppendSummaryErrorLines(CString& summary, const Quelmar::CsvErrorList& errors)
{
    for (size_t index = 0; index < errors.size(); ++index) {
        if (index == kSummaryErrorLines) {
            summary += L"...\r\n";
            return;
        }
        const CString& line = errors[index];
        if (line.GetLength() > kSummaryLineLength) {
            summary += line.Left(kSummaryLineLength);
            summary += L"...\r\n";
        } else {
            summary += line;
        }
    }
}

CString CsvErrorLogPath(const CString& csvPath, const CString& logName)
{
    const int slash = csvPath.ReverseFind(L'\\');
    CString folder = slash >= 0 ? csvPath.Left(slash) : CString();
    if (folder.IsEmpty() || folder[folder.GetLength() - 1] != L'\\') {
        folder += L'\\';
    }
    return folder + logName;
}
