#pragma once
//
//  The class library's file: one Win32 file handle with the open modes, the share rules and
//  the file exception that the stored items rely on. Windows builds only.
//
//  Failures are thrown as CFileException by value (catch by reference); there is no heap
//  object to delete, so no catch path can leak one.
//
#include "classlib/CException.h"
#include "classlib/CString.h"

#include <windows.h>

class CFileException : public CException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(int cause = none, LONG osError = -1, const CString& fileName = CString());
    ~CFileException() override = default;

    static int OsErrorToCause(LONG osError);

    // The system's text for the error code followed by the file name; without a code, a
    // text for the cause.
    BOOL GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext = nullptr) const override;

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    CFile() = default;
    // Opens at once; a failure throws CFileException.
    CFile(LPCWSTR fileName, UINT openFlags);
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();

    // Returns FALSE on failure and, when error is given, fills it; never throws.
    BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);
    BOOL IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const CString& GetFilePath() const { return m_strFileName; }

    // Each of these throws CFileException on failure.
    ULONGLONG GetLength() const;
    void SetLength(ULONGLONG newLength);
    ULONGLONG Seek(LONGLONG offset, UINT from);
    void SeekToBegin() { Seek(0, begin); }
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    void Flush();
    void Close();

    // Closes without throwing; for clean-up paths.
    void Abort();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;

private:
    [[noreturn]] void ThrowLastError() const;

    CString m_strFileName;
};
