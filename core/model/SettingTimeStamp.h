#pragma once
#include "classlib/WinTypes.h"

namespace Quelmar {

// A moment as the C library's 64-bit time: seconds since 1970-01-01 UTC; 0 when not set.
class SettingTimeStamp {
public:
    SettingTimeStamp() = default;
    SettingTimeStamp(const SettingTimeStamp&) = default;
    SettingTimeStamp& operator=(const SettingTimeStamp&) = default;
    virtual ~SettingTimeStamp() = default;

    LONGLONG time = 0;
};

}  // namespace Quelmar
