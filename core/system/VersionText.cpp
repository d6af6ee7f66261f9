#include "core/system/VersionText.h"

#include <algorithm>
#include <limits>

namespace {

bool IsSpace(WCHAR ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// The leading decimal number of a piece, read as the C library's "%d" reads it: white space,
// an optional sign, digits. No digits leaves 0; values beyond 32 bits are held at the limit.
int32_t LeadingNumber(const CString::Buffer& piece)
{
    size_t i = 0;
    while (i < piece.size() && IsSpace(piece[i])) {
        ++i;
    }
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i] == '-';
        ++i;
    }
    int64_t value = 0;
    const int64_t limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        value = std::min<int64_t>(value * 10 + (piece[i] - '0'), limit);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

int SplitVersionNumbers(const CString& text, const CString& separator, std::vector<int32_t>& numbers)
{
    numbers.clear();
    const CString::Buffer& whole = text.Text();
    const CString::Buffer& sep = separator.Text();
    size_t start = 0;
    while (start < whole.size()) {
        size_t next = sep.empty() ? CString::Buffer::npos : whole.find(sep, start);
        size_t end = next == CString::Buffer::npos ? whole.size() : next;
        if (end > start) {
            numbers.push_back(LeadingNumber(whole.substr(start, end - start)));
        }
        if (next == CString::Buffer::npos) {
            break;
        }
        start = next + sep.size();
    }
    return static_cast<int>(numbers.size());
}

int CompareVersionNumbers(const std::vector<int32_t>& a, const std::vector<int32_t>& b)
{
    const size_t count = std::max(a.size(), b.size());
    for (size_t i = 0; i < count; ++i) {
        int32_t left = i < a.size() ? a[i] : 0;
        int32_t right = i < b.size() ? b[i] : 0;
        if (left != right) {
            return left > right ? 1 : -1;
        }
    }
    return 0;
}

int CompareVersionStrings(const CString& a, const CString& separatorA, const CString& b, const CString& separatorB)
{
    std::vector<int32_t> left;
    std::vector<int32_t> right;
    SplitVersionNumbers(a, separatorA, left);
    SplitVersionNumbers(b, separatorB, right);
    return CompareVersionNumbers(left, right);
}
