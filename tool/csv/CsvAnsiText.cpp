#include "tool/csv/CsvAnsiText.h"

#include "classlib/CFile.h"

#include <climits>
#include <vector>

namespace Quelmar {

namespace {

[[noreturn]] void ThrowConversionError(const CString& path)
{
    const LONG osError = static_cast<LONG>(GetLastError());
    throw CFileException(CFileException::invalidFile, osError, path);
}

}  // namespace

CString AnsiBytesToText(const BYTE* bytes, size_t count, const CString& path)
{
    if (count == 0) {
        return CString();
    }
    if (count > static_cast<size_t>(INT_MAX)) {
        throw CFileException(CFileException::invalidFile, ERROR_FILE_TOO_LARGE, path);
    }
    const LPCSTR source = reinterpret_cast<LPCSTR>(bytes);
    const int wideLength = MultiByteToWideChar(CP_THREAD_ACP, 0, source, static_cast<int>(count), nullptr, 0);
    if (wideLength <= 0) {
        ThrowConversionError(path);
    }
    std::vector<WCHAR> wide(static_cast<size_t>(wideLength));
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, source, static_cast<int>(count), wide.data(), wideLength) != wideLength) {
        ThrowConversionError(path);
    }
    return CString(wide.data(), wide.size());
}

std::string TextToAnsiBytes(const CString& text, const CString& path)
{
    if (text.IsEmpty()) {
        return std::string();
    }
    // Without the flag Windows writes a look-alike for some characters that the code page
    // lacks (a backslash for the yen sign), which reads back as another text.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length = text.GetLength();
    const int byteLength = WideCharToMultiByte(CP_THREAD_ACP, flags, text, length, nullptr, 0, nullptr, nullptr);
    if (byteLength <= 0) {
        ThrowConversionError(path);
    }
    std::string bytes(static_cast<size_t>(byteLength), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, flags, text, length, &bytes[0], byteLength, nullptr, nullptr) !=
        byteLength) {
        ThrowConversionError(path);
    }
    return bytes;
}

}  // namespace Quelmar
