#pragma once
//
//  The class library's file search: FindFile starts a search and FindNextFile steps to each
//  match in turn; the search handle is closed by Close or the destructor. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // TRUE when something matches the name (a path, wildcards allowed; "*.*" when null).
    BOOL FindFile(LPCWSTR name = nullptr);
    // Makes the next match current; FALSE when the current match is the last (or none).
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    // The folder of the search joined with the current match's name.
    CString GetFilePath() const;
    BOOL IsDirectory() const;
    // The "." and ".." entries of a folder.
    BOOL IsDots() const;

private:
    HANDLE find_ = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW current_ = {};
    WIN32_FIND_DATAW next_ = {};
    BOOL hasNext_ = FALSE;
    BOOL hasCurrent_ = FALSE;
    CString root_;
};
