#include "session/ejector/UnitMask.h"

WCHAR RootPathDriveLetter(const WCHAR* path, size_t length)
{
    if (path == nullptr || length != 3 || path[1] != L':' || path[2] != L'\\') {
        return 0;
    }
    WCHAR letter = path[0];
    if (letter >= L'a' && letter <= L'z') {
        letter = static_cast<WCHAR>(letter - L'a' + L'A');
    }
    return (letter >= L'A' && letter <= L'Z') ? letter : 0;
}
