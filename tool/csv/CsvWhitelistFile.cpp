#include "tool/csv/CsvWhitelistFile.h"

#include "classlib/CFile.h"
#include "core/store/WholeFile.h"
#include "tool/csv/CsvAnsiText.h"

#include <climits>
#include <string>
#include <vector>

namespace Quelmar {

namespace {

// Read with other writers shut out; the whole-file reader refuses files beyond its size limit
// with the file error before any byte is read, so no count below can overflow.
std::vector<BYTE> ReadCsvBytes(const CsvFileJob& job)
{
    std::vector<BYTE> bytes;
    ReadWholeFile(job.path, bytes);
    bytes.resize(CsvTextByteCount(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace

int CountCsvLines(const CsvFileJob& job)
{
    const std::vector<BYTE> bytes = ReadCsvBytes(job);
    const size_t breaks = CountCsvLineBreaks(bytes.data(), bytes.size());
    return breaks > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(breaks);
}

void ReadWhitelistCsv(CsvErrorList& errors, const CsvFileJob& job, Whitelist& entries)
{
    const std::vector<BYTE> bytes = ReadCsvBytes(job);
    const CString text = AnsiBytesToText(bytes.data(), bytes.size(), job.path);
    ParseWhitelistCsvText(errors, job, text, entries);
}

void WriteWhitelistCsv(const CsvFileJob& job, const Whitelist& entries)
{
    // Opened before anything else, so that a file that cannot be written is reported before
    // any work is done.
    CFile file(job.path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite);
    const std::string bytes = TextToAnsiBytes(BuildWhitelistCsvDocument(job, entries), job.path);
    if (bytes.size() > UINT_MAX) {
        throw CFileException(CFileException::diskFull, ERROR_FILE_TOO_LARGE, job.path);
    }
    file.SetLength(bytes.size());
    file.SeekToBegin();
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Close();
}

}  // namespace Quelmar
