#include "classlib/CException.h"

#include <cwchar>

BOOL CException::CopyMessage(LPCWSTR text, LPWSTR error, UINT maxError, PUINT helpContext)
{
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    if (error == nullptr || maxError == 0) {
        return FALSE;
    }
    error[0] = L'\0';
    if (text == nullptr || text[0] == L'\0') {
        return FALSE;
    }
    lstrcpynW(error, text, static_cast<int>(maxError));
    return TRUE;
}

BOOL CException::GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext) const
{
    return CopyMessage(nullptr, error, maxError, helpContext);
}

BOOL FormatSystemMessage(DWORD osError, LPWSTR error, UINT maxError)
{
    if (error == nullptr || maxError == 0) {
        return FALSE;
    }
    error[0] = L'\0';
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, osError, 0,
                                  error, maxError, nullptr);
    if (length == 0 || length >= maxError) {
        error[0] = L'\0';
        return FALSE;
    }
    while (length > 0 && (error[length - 1] == L'\r' || error[length - 1] == L'\n' || error[length - 1] == L' ')) {
        error[--length] = L'\0';
    }
    return length > 0;
}

BOOL CResourceException::GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext) const
{
    wchar_t system[256] = {};
    if (m_osError != ERROR_SUCCESS && FormatSystemMessage(m_osError, system, 256)) {
        return CopyMessage(system, error, maxError, helpContext);
    }
    return CopyMessage(L"A system resource could not be created.", error, maxError, helpContext);
}

BOOL CUserException::GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext) const
{
    return CopyMessage(nullptr, error, maxError, helpContext);
}
