#pragma once
//
//  The class library's exceptions: one base that every failure the library throws derives
//  from, so that a caller can catch them together and ask for a readable message. They are
//  thrown by value and caught by reference; nothing is allocated, so no catch path leaks.
//  Windows builds only.
//
#include <windows.h>

class CException {
public:
    CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
    virtual ~CException() = default;

    // Copies the message, cut to fit and always terminated, into error (maxError code units
    // with the terminator). helpContext, when given, receives 0. FALSE when there is no
    // message or no room for one.
    virtual BOOL GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext = nullptr) const;

protected:
    // Copies text into the caller's buffer as GetErrorMessage promises.
    static BOOL CopyMessage(LPCWSTR text, LPWSTR error, UINT maxError, PUINT helpContext);
};

// A window, dialog, resource or synchronisation object could not be created.
class CResourceException : public CException {
public:
    explicit CResourceException(DWORD osError = ERROR_SUCCESS) : m_osError(osError) {}
    BOOL GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext = nullptr) const override;

    DWORD m_osError;
};

// Dialog data exchange refused a value; the exchange has already told the user.
class CUserException : public CException {
public:
    BOOL GetErrorMessage(LPWSTR error, UINT maxError, PUINT helpContext = nullptr) const override;
};

// The system's text for an error code, without the trailing line break; empty when it has none.
BOOL FormatSystemMessage(DWORD osError, LPWSTR error, UINT maxError);
