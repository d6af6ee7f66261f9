#pragma once
//
//  The setting tool's command line: only "/wizard" (or "-wizard", any case) means anything;
//  every other parameter, the framework's own options too, is ignored. Windows builds only.
//
#include "classlib/CCommandLineInfo.h"

class CSettingToolCommandLineInfo : public CCommandLineInfo {
public:
    void ParseParam(const wchar_t* param, BOOL flag, BOOL last) override;

    // 1 when the setup wizard was asked for.
    int m_wizard = 0;
};
