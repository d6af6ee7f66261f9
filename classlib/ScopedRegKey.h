#pragma once
//
//  Owns one open registry key and closes it when it goes out of scope. Windows builds only.
//
#include <windows.h>

class ScopedRegKey {
public:
    ScopedRegKey() = default;
    explicit ScopedRegKey(HKEY key) : key_(key) {}
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    ~ScopedRegKey() { Reset(); }

    HKEY Get() const { return key_; }
    operator HKEY() const { return key_; }
    // For the out-parameter of RegOpenKeyExW and RegCreateKeyExW; closes any key held before.
    HKEY* Receive()
    {
        Reset();
        return &key_;
    }
    void Reset()
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

private:
    HKEY key_ = nullptr;
};
