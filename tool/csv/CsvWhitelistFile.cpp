#include "tool/csv/CsvWhitelistFile.h"

#include "classlib/CFile.h"
#include "core/store/WholeFile.h"
#include "tool/csv/CsvAnsiText.h"

#include <algorithm>
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

// A file already at the path must take writing (not read-only, not held by another program):
// the replacement at the end would fail on it. Nothing is changed.
void CheckTargetTakesWriting(const CString& path)
{
    CFile target;
    CFileException error;
    if (!target.Open(path, CFile::modeWrite | CFile::shareDenyWrite, &error) &&
        error.m_cause != CFileException::fileNotFound) {
        throw error;
    }
}

// The export is written first to a new file in the target's folder, under a name that no file
// had: the folder is the user's, so a fixed name beside the target could be one of the user's
// files, which a failed export would then destroy.
CString NewFileBeside(const CString& path)
{
    const int slash = std::max(path.ReverseFind(L'\\'), path.ReverseFind(L'/'));
    const CString folder = slash >= 0 ? path.Left(slash + 1) : CString(L".");
    // Room for the name is taken before the file is made, so that nothing can fail between
    // making it and handing it to its owner.
    CString name;
    WCHAR* buffer = name.GetBuffer(MAX_PATH);
    if (GetTempFileNameW(folder, L"csv", 0, buffer) == 0) {
        const LONG osError = static_cast<LONG>(GetLastError());
        throw CFileException(CFileException::OsErrorToCause(osError), osError, path);
    }
    name.ReleaseBuffer();
    return name;
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
    // Both files are opened before anything else, so that a file that cannot be written is
    // reported before any work is done.
    CheckTargetTakesWriting(job.path);
    ReplacementFile file(job.path, NewFileBeside(job.path));
    const std::string bytes = TextToAnsiBytes(BuildWhitelistCsvDocument(job, entries), job.path);
    file.Commit(bytes.data(), bytes.size());
}

}  // namespace Quelmar
