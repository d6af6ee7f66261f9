#pragma once
//
//  Reading and writing a stored file as one block, with the share rules that the setting tool
//  and the service rely on: a reader denies writers while it reads, and a file is never
//  rewritten under an open reader. Windows builds only.
//
#include "classlib/CFile.h"
#include "classlib/CString.h"

#include <vector>

// Reads the whole file into out (mode read, deny write). A sharing violation, which a reader
// meets while another program replaces the file, is retried for a short while before the file
// exception is let through; a reader must not fall back to defaults because of a save in
// progress. Throws CFileException.
void ReadWholeFile(const CString& path, std::vector<BYTE>& out);

// Replaces the file's contents with bytes in one step: the new image is written and flushed
// to a file beside it, which then takes the old file's place. A failure at any point leaves
// the old file as it was. The replacement fails while a reader holds the file open. Throws
// CFileException.
void WriteWholeFile(const CString& path, const std::vector<BYTE>& bytes);

// The file beside path that a save writes first.
CString PendingFilePath(const CString& path);

// A new image of a file, written to a file beside it that takes the file's place only once
// Commit has written and flushed it whole. Until then the file keeps its bytes, and whatever
// ends the image uncommitted (a failure, an exception from elsewhere) deletes the file beside
// it. Failures throw CFileException naming the file, not the one beside it.
class ReplacementFile {
public:
    // Opens pendingPath for writing, deny write: a file already there is overwritten, and
    // deleted when it cannot be opened.
    ReplacementFile(const CString& path, CString pendingPath);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // The image is bytes; it takes the file's place, which fails while a reader holds the file.
    void Commit(const void* bytes, size_t count);

private:
    CString path_;
    CString pending_;
    CFile file_;
    bool committed_ = false;
};
