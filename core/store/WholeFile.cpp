#include "core/store/WholeFile.h"

#include <climits>
#include <utility>

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
    ReplacementFile file(path, PendingFilePath(path));
    file.Commit(bytes.data(), bytes.size());
}

ReplacementFile::ReplacementFile(const CString& path, CString pendingPath) : pending_(std::move(pendingPath))
{
    // The caller may have just made the file beside: nothing that fails from here on may leave
    // it, not even an allocation.
    try {
        path_ = path;
        CFileException error;
        if (!file_.Open(pending_, kWriteFlags, &error)) {
            error.m_strFileName = path_;
            throw error;
        }
    } catch (...) {
        DeleteFileW(pending_);
        throw;
    }
}

ReplacementFile::~ReplacementFile()
{
    if (!committed_) {
        // Closed first: the handle shares no deletion.
        file_.Abort();
        DeleteFileW(pending_);
    }
}

void ReplacementFile::Commit(const void* bytes, size_t count)
{
    try {
        if (count > UINT_MAX) {
            throw CFileException(CFileException::diskFull, ERROR_FILE_TOO_LARGE);
        }
        file_.SetLength(count);
        file_.SeekToBegin();
        file_.Write(bytes, static_cast<UINT>(count));
        file_.Flush();
        file_.Close();
    } catch (CFileException& error) {
        error.m_strFileName = path_;
        throw;
    }
    if (!MoveFileExW(pending_, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const LONG osError = static_cast<LONG>(GetLastError());
        throw CFileException(CFileException::OsErrorToCause(osError), osError, path_);
    }
    committed_ = true;
}
