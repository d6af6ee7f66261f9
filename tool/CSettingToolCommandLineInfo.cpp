#include "tool/CSettingToolCommandLineInfo.h"

#include <cwchar>

void CSettingToolCommandLineInfo::ParseParam(const wchar_t* param, BOOL flag, BOOL)
{
    if (flag && _wcsicmp(param, L"wizard") == 0) {
        m_wizard = 1;
    }
}
