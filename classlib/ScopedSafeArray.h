#pragma once
//
//  Owns one SAFEARRAY that a COM call handed out and destroys it, with the elements it holds,
//  when it goes out of scope. Windows builds only.
//
#include <windows.h>
#include <oleauto.h>

class ScopedSafeArray {
public:
    ScopedSafeArray() = default;
    ScopedSafeArray(const ScopedSafeArray&) = delete;
    ScopedSafeArray& operator=(const ScopedSafeArray&) = delete;
    ~ScopedSafeArray() { Reset(); }

    SAFEARRAY* Get() const { return array_; }
    explicit operator bool() const { return array_ != nullptr; }
    // For an out-parameter; destroys any array held before.
    SAFEARRAY** Receive()
    {
        Reset();
        return &array_;
    }
    void Reset()
    {
        if (array_ != nullptr) {
            SafeArrayDestroy(array_);
            array_ = nullptr;
        }
    }

private:
    SAFEARRAY* array_ = nullptr;
};
