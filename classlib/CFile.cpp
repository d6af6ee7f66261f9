#include "classlib/CFile.h"

CFileException::CFileException(int cause, LONG osError, const CString& fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
{
}

int CFileException::OsErrorToCause(LONG osError)
{
    switch (osError) {
    case NO_ERROR:
        return none;
    case ERROR_FILE_NOT_FOUND:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return accessDenied;
    case ERROR_INVALID_HANDLE:
        return invalidFile;
    case ERROR_CURRENT_DIRECTORY:
        return removeCurrentDir;
    case ERROR_CANNOT_MAKE:
        return directoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
        return badSeek;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_LOCK_VIOLATION:
        return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return genericException;
    }
}

BOOL CFileException::GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext) const
{
    wchar_t system[512] = {};
    CString text;
    if (m_lOsError != -1 && FormatSystemMessage(static_cast<DWORD>(m_lOsError), system, 512)) {
        text = system;
    } else if (m_cause != none) {
        text.Format(L"File error %d.", m_cause);
    }
    if (!text.IsEmpty() && !m_strFileName.IsEmpty()) {
        text += L" (";
        text += m_strFileName;
        text += L")";
    }
    return CopyMessage(text, error, maxError, helpContext);
}

CFile::CFile(LPCWSTR fileName, UINT openFlags)
{
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        throw error;
    }
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error)
{
    Abort();
    m_strFileName = fileName;

    DWORD access = 0;
    switch (openFlags & 3) {
    case modeRead:
        access = GENERIC_READ;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        break;
    case modeReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    default:
        if (error != nullptr) {
            *error = CFileException(CFileException::genericException, ERROR_INVALID_PARAMETER, m_strFileName);
        }
        return FALSE;
    }

    // The Windows class library's share modes: "deny" names what the others may not do.
    DWORD share = 0;
    switch (openFlags & 0x70) {
    case shareCompat:
    case shareExclusive:
        share = 0;
        break;
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        if (error != nullptr) {
            *error = CFileException(CFileException::genericException, ERROR_INVALID_PARAMETER, m_strFileName);
        }
        return FALSE;
    }

    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, (openFlags & modeNoInherit) ? FALSE : TRUE};

    DWORD disposition = OPEN_EXISTING;
    if (openFlags & modeCreate) {
        disposition = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    }

    HANDLE file = CreateFileW(fileName, access, share, &sa, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LONG osError = static_cast<LONG>(GetLastError());
        if (error != nullptr) {
            *error = CFileException(CFileException::OsErrorToCause(osError), osError, m_strFileName);
        }
        return FALSE;
    }
    m_hFile = file;
    return TRUE;
}

void CFile::ThrowLastError() const
{
    LONG osError = static_cast<LONG>(GetLastError());
    throw CFileException(CFileException::OsErrorToCause(osError), osError, m_strFileName);
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size)) {
        ThrowLastError();
    }
    return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::SetLength(ULONGLONG newLength)
{
    Seek(static_cast<LONGLONG>(newLength), begin);
    if (!SetEndOfFile(m_hFile)) {
        ThrowLastError();
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(m_hFile, distance, &position, from)) {
        ThrowLastError();
    }
    return static_cast<ULONGLONG>(position.QuadPart);
}

UINT CFile::Read(void* buffer, UINT count)
{
    if (count == 0) {
        return 0;
    }
    DWORD done = 0;
    if (!ReadFile(m_hFile, buffer, count, &done, nullptr)) {
        ThrowLastError();
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (count == 0) {
        return;
    }
    DWORD done = 0;
    if (!WriteFile(m_hFile, buffer, count, &done, nullptr)) {
        ThrowLastError();
    }
    if (done != count) {
        throw CFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
    }
}

void CFile::Flush()
{
    if (m_hFile != INVALID_HANDLE_VALUE && !FlushFileBuffers(m_hFile)) {
        ThrowLastError();
    }
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE) {
        return;
    }
    HANDLE file = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) {
        ThrowLastError();
    }
}

void CFile::Abort()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}
