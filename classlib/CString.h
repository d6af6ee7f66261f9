#pragma once
//
//  The class library's wide string: UTF-16 text with the operations the programs use.
//
//  The text never contains a zero code unit: like the string of the Windows class library it
//  ends at the first zero, so text taken from counted buffers is cut there. Builds on every
//  preset; only the formatting helpers need the Windows C runtime.
//
#include "classlib/WinTypes.h"

#include <cstddef>
#include <string>

class CString {
public:
    typedef std::basic_string<WCHAR> Buffer;

    CString() = default;
    CString(const WCHAR* text);
    // Takes at most count code units of text, and stops at a zero code unit before that.
    CString(const WCHAR* text, size_t count);
    CString(WCHAR ch, int repeat = 1);
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const WCHAR* text);
    virtual ~CString() = default;

    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    const WCHAR* GetString() const { return text_.c_str(); }
    operator const WCHAR*() const { return text_.c_str(); }
    const Buffer& Text() const { return text_; }

    WCHAR GetAt(int index) const { return text_.at(static_cast<size_t>(index)); }
    void SetAt(int index, WCHAR ch);
    WCHAR operator[](int index) const { return GetAt(index); }

    CString& operator+=(const CString& other);
    CString& operator+=(const WCHAR* text);
    CString& operator+=(WCHAR ch);
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const WCHAR* b);
    friend CString operator+(const WCHAR* a, const CString& b);

    // Ordinal, code unit by code unit: <0, 0 or >0.
    int Compare(const WCHAR* text) const;
    // Ordinal after folding ASCII letters; other code units compare as they are.
    int CompareNoCase(const WCHAR* text) const;
    friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
    friend bool operator!=(const CString& a, const CString& b) { return a.text_ != b.text_; }
    friend bool operator==(const CString& a, const WCHAR* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const WCHAR* b) { return a.Compare(b) != 0; }
    friend bool operator<(const CString& a, const CString& b) { return a.text_ < b.text_; }

    int Find(WCHAR ch, int start = 0) const;
    int Find(const WCHAR* sub, int start = 0) const;
    int ReverseFind(WCHAR ch) const;
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    CString& MakeUpper();   // ASCII letters only
    CString& MakeLower();   // ASCII letters only
    CString& Trim();        // spaces, tabs, CR and LF at both ends
    CString& TrimLeft();
    CString& TrimRight();
    int Replace(WCHAR oldCh, WCHAR newCh);
    int Replace(const WCHAR* oldText, const WCHAR* newText);
    int Remove(WCHAR ch);

    // Direct writing into the buffer, as the Windows class library allows: GetBuffer(n) gives
    // room for n code units plus a terminator; ReleaseBuffer cuts the text at its first zero
    // (or at newLength when that is given).
    WCHAR* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

#ifdef _WIN32
    void Format(const wchar_t* format, ...);
    void AppendFormat(const wchar_t* format, ...);
    // Replaces the text with string resource id of the library's resource module; FALSE (and
    // empty) when the module has no such string.
    BOOL LoadString(UINT id);
#endif

private:
    Buffer text_;
};
