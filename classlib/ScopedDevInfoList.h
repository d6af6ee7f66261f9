#pragma once
//
//  Owns one SetupAPI device information set and destroys it when it goes out of scope.
//  Windows builds only.
//
#include <windows.h>
#include <setupapi.h>

class ScopedDevInfoList {
public:
    explicit ScopedDevInfoList(HDEVINFO set) : set_(set) {}
    ScopedDevInfoList(const ScopedDevInfoList&) = delete;
    ScopedDevInfoList& operator=(const ScopedDevInfoList&) = delete;
    ~ScopedDevInfoList()
    {
        if (IsValid())
            SetupDiDestroyDeviceInfoList(set_);
    }

    HDEVINFO Get() const { return set_; }
    // Hands the set to the caller, who destroys it from then on.
    HDEVINFO Release()
    {
        HDEVINFO set = set_;
        set_ = INVALID_HANDLE_VALUE;
        return set;
    }
    bool IsValid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }

private:
    HDEVINFO set_;
};
