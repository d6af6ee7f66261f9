#include "classlib/CString.h"

#include "classlib/CWnd.h"

BOOL CString::LoadString(UINT id)
{
    // With a zero length the system hands back a pointer into the resource itself, so a
    // string of any length is taken whole; resource strings are not terminated.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || resource == nullptr) {
        Empty();
        return FALSE;
    }
    *this = CString(resource, static_cast<size_t>(length));
    return TRUE;
}
