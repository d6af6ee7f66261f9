#include "classlib/CFileFind.h"

CFileFind::~CFileFind()
{
    Close();
}

void CFileFind::Close()
{
    if (find_ != INVALID_HANDLE_VALUE) {
        FindClose(find_);
        find_ = INVALID_HANDLE_VALUE;
    }
    hasNext_ = FALSE;
    hasCurrent_ = FALSE;
}

BOOL CFileFind::FindFile(LPCWSTR name)
{
    Close();
    CString pattern(name != nullptr ? name : L"*.*");
    find_ = FindFirstFileW(pattern, &next_);
    if (find_ == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    hasNext_ = TRUE;
    const int slash = pattern.ReverseFind(L'\\');
    const int colon = pattern.ReverseFind(L':');
    const int end = slash > colon ? slash : colon;
    root_ = end >= 0 ? pattern.Left(end + 1) : CString();
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!hasNext_) {
        return FALSE;
    }
    current_ = next_;
    hasCurrent_ = TRUE;
    hasNext_ = ::FindNextFileW(find_, &next_);
    return hasNext_;
}

CString CFileFind::GetFileName() const
{
    return hasCurrent_ ? CString(current_.cFileName) : CString();
}

CString CFileFind::GetFilePath() const
{
    return hasCurrent_ ? root_ + current_.cFileName : CString();
}

BOOL CFileFind::IsDirectory() const
{
    return hasCurrent_ && (current_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BOOL CFileFind::IsDots() const
{
    if (!IsDirectory()) {
        return FALSE;
    }
    const WCHAR* name = current_.cFileName;
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}
