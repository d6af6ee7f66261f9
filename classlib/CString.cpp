#include "classlib/CString.h"

#include <algorithm>

#ifdef _WIN32
#include <cstdarg>
#include <cwchar>
#endif

namespace {

size_t LengthUpTo(const WCHAR* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n] != 0) {
        ++n;
    }
    return n;
}

WCHAR FoldAscii(WCHAR ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<WCHAR>(ch - 'A' + 'a') : ch;
}

bool IsTrimmed(WCHAR ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

size_t Clamp(int value, size_t limit)
{
    if (value < 0) {
        return 0;
    }
    return std::min(static_cast<size_t>(value), limit);
}

}  // namespace

CString::CString(const WCHAR* text)
{
    if (text != nullptr) {
        text_.assign(text, LengthUpTo(text, Buffer::npos));
    }
}

CString::CString(const WCHAR* text, size_t count)
{
    if (text != nullptr) {
        text_.assign(text, LengthUpTo(text, count));
    }
}

CString::CString(WCHAR ch, int repeat)
{
    if (ch != 0 && repeat > 0) {
        text_.assign(static_cast<size_t>(repeat), ch);
    }
}

CString& CString::operator=(const WCHAR* text)
{
    if (text == nullptr) {
        text_.clear();
    } else {
        text_.assign(text, LengthUpTo(text, Buffer::npos));
    }
    return *this;
}

void CString::SetAt(int index, WCHAR ch)
{
    if (ch == 0) {
        text_.resize(static_cast<size_t>(index));
    } else {
        text_.at(static_cast<size_t>(index)) = ch;
    }
}

CString& CString::operator+=(const CString& other)
{
    text_ += other.text_;
    return *this;
}

CString& CString::operator+=(const WCHAR* text)
{
    if (text != nullptr) {
        text_.append(text, LengthUpTo(text, Buffer::npos));
    }
    return *this;
}

CString& CString::operator+=(WCHAR ch)
{
    if (ch != 0) {
        text_ += ch;
    }
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, const WCHAR* b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const WCHAR* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

int CString::Compare(const WCHAR* text) const
{
    const WCHAR* other = text != nullptr ? text : _T("");
    size_t i = 0;
    for (;; ++i) {
        WCHAR a = i < text_.size() ? text_[i] : 0;
        WCHAR b = other[i];
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

int CString::CompareNoCase(const WCHAR* text) const
{
    const WCHAR* other = text != nullptr ? text : _T("");
    for (size_t i = 0;; ++i) {
        WCHAR a = FoldAscii(i < text_.size() ? text_[i] : 0);
        WCHAR b = FoldAscii(other[i]);
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

int CString::Find(WCHAR ch, int start) const
{
    if (start < 0 || static_cast<size_t>(start) > text_.size()) {
        return -1;
    }
    size_t at = text_.find(ch, static_cast<size_t>(start));
    return at == Buffer::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const WCHAR* sub, int start) const
{
    if (sub == nullptr || start < 0 || static_cast<size_t>(start) > text_.size()) {
        return -1;
    }
    size_t at = text_.find(sub, static_cast<size_t>(start), LengthUpTo(sub, Buffer::npos));
    return at == Buffer::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(WCHAR ch) const
{
    size_t at = text_.rfind(ch);
    return at == Buffer::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const
{
    CString r;
    r.text_ = text_.substr(0, Clamp(count, text_.size()));
    return r;
}

CString CString::Mid(int first) const
{
    CString r;
    r.text_ = text_.substr(Clamp(first, text_.size()));
    return r;
}

CString CString::Mid(int first, int count) const
{
    size_t from = Clamp(first, text_.size());
    CString r;
    r.text_ = text_.substr(from, Clamp(count, text_.size() - from));
    return r;
}

CString CString::Right(int count) const
{
    size_t n = Clamp(count, text_.size());
    CString r;
    r.text_ = text_.substr(text_.size() - n);
    return r;
}

CString& CString::MakeUpper()
{
    for (WCHAR& ch : text_) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<WCHAR>(ch - 'a' + 'A');
        }
    }
    return *this;
}

CString& CString::MakeLower()
{
    for (WCHAR& ch : text_) {
        ch = FoldAscii(ch);
    }
    return *this;
}

CString& CString::TrimLeft()
{
    size_t n = 0;
    while (n < text_.size() && IsTrimmed(text_[n])) {
        ++n;
    }
    text_.erase(0, n);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = text_.size();
    while (n > 0 && IsTrimmed(text_[n - 1])) {
        --n;
    }
    text_.resize(n);
    return *this;
}

CString& CString::Trim()
{
    return TrimRight().TrimLeft();
}

int CString::Replace(WCHAR oldCh, WCHAR newCh)
{
    if (oldCh == 0 || newCh == 0) {
        return 0;
    }
    int count = 0;
    for (WCHAR& ch : text_) {
        if (ch == oldCh) {
            ch = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const WCHAR* oldText, const WCHAR* newText)
{
    if (oldText == nullptr || oldText[0] == 0) {
        return 0;
    }
    Buffer from(oldText);
    Buffer to(newText != nullptr ? newText : _T(""));
    int count = 0;
    size_t at = 0;
    while ((at = text_.find(from, at)) != Buffer::npos) {
        text_.replace(at, from.size(), to);
        at += to.size();
        ++count;
    }
    return count;
}

int CString::Remove(WCHAR ch)
{
    size_t before = text_.size();
    text_.erase(std::remove(text_.begin(), text_.end(), ch), text_.end());
    return static_cast<int>(before - text_.size());
}

WCHAR* CString::GetBuffer(int minLength)
{
    size_t want = Clamp(minLength, static_cast<size_t>(INT32_MAX));
    if (text_.size() < want) {
        text_.resize(want);
    }
    return &text_[0];
}

void CString::ReleaseBuffer(int newLength)
{
    size_t limit = newLength < 0 ? text_.size() : Clamp(newLength, text_.size());
    text_.resize(LengthUpTo(text_.c_str(), limit));
}

#ifdef _WIN32
namespace {

void AppendFormatted(CString::Buffer& out, const wchar_t* format, va_list args)
{
    va_list probe;
    va_copy(probe, args);
    int needed = _vscwprintf(format, probe);
    va_end(probe);
    if (needed <= 0) {
        return;
    }
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(needed) + 1);
    _vsnwprintf(&out[at], static_cast<size_t>(needed) + 1, format, args);
    out.resize(at + static_cast<size_t>(needed));
}

}  // namespace

void CString::Format(const wchar_t* format, ...)
{
    text_.clear();
    va_list args;
    va_start(args, format);
    AppendFormatted(text_, format, args);
    va_end(args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatted(text_, format, args);
    va_end(args);
}
#endif
