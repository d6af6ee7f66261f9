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
