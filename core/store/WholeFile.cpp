#include "core/store/WholeFile.h"

namespace {

const UINT kReadFlags = CFile::modeRead | CFile::shareDenyWrite;
const UINT kWriteFlags = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite;

// A save holds the file for the time of one rename; half a second covers it many times over.
const int kSharingRetries = 20;
const DWORD kSharingRetryDelayMs = 25;

// Stored files are small; anything larger is not one of ours and is not read into memory.
const ULONGLONG kLargestStoredFile = 64u * 1024u * 1024u;

}  // namespace

CString PendingFilePath(const CString& path)
{
    return path + L".new";
}

void ReadWholeFile(const CString& path, std::vector<BYTE>& out)
{
    CFile file;
    CFileException error;
    for (int attempt = 0;; ++attempt) {
        if (file.Open(path, kReadFlags, &error)) {
            break;
        }
        if (error.m_cause != CFileException::sharingViolation || attempt + 1 >= kSharingRetries) {
            throw error;
        }
        Sleep(kSharingRetryDelayMs);
    }
    const ULONGLONG length = file.GetLength();
    if (length > kLargestStoredFile) {
        throw CFileException(CFileException::invalidFile, ERROR_FILE_TOO_LARGE, path);
    }
    out.assign(static_cast<size_t>(length), 0);
    size_t done = 0;
    while (done < out.size()) {
        UINT read = file.Read(out.data() + done, static_cast<UINT>(out.size() - done));
        if (read == 0) {
            break;
        }
        done += read;
    }
    // The file may have been cut between the length query and the read.
    out.resize(done);
    file.Close();
}

void WriteWholeFile(const CString& path, const std::vector<BYTE>& bytes)
{
    const CString pending = PendingFilePath(path);
    try {
        CFile file(pending, kWriteFlags);
        file.SetLength(bytes.size());
        file.SeekToBegin();
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
        file.Flush();
        file.Close();
    } catch (const CFileException&) {
        DeleteFileW(pending);
        throw;
    }
    if (!MoveFileExW(pending, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        LONG osError = static_cast<LONG>(GetLastError());
        DeleteFileW(pending);
        throw CFileException(CFileException::OsErrorToCause(osError), osError, path);
    }
}
