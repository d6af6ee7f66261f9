#include "core/process/ImagePath.h"

bool ReplaceDevicePrefix(CString& path, const CString& deviceName, const WCHAR* replacement)
{
    int length = deviceName.GetLength();
    if (length == 0 || path.GetLength() < length || path.Left(length).CompareNoCase(deviceName) != 0)
        return false;
    if (path.GetLength() > length && path[length] != _T('\\'))
        return false;
    path = CString(replacement) + path.Mid(length);
    return true;
}

void DropWin32NamespacePrefix(CString& path)
{
    if (path.GetLength() >= 7 && path.Left(4).CompareNoCase(_T("\\??\\")) == 0 && path[5] == _T(':') && path[6] == _T('\\'))
        path = path.Mid(4);
}
