#pragma once
//
//  Owns one BSTR that a COM call handed out and frees it when it goes out of scope. Windows
//  builds only.
//
#include <windows.h>
#include <oleauto.h>

class ScopedBstr {
public:
    ScopedBstr() = default;
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ~ScopedBstr() { Reset(); }

    BSTR Get() const { return string_; }
    explicit operator bool() const { return string_ != nullptr; }
    // For an out-parameter; frees any string held before.
    BSTR* Receive()
    {
        Reset();
        return &string_;
    }
    void Reset()
    {
        if (string_ != nullptr) {
            SysFreeString(string_);
            string_ = nullptr;
        }
    }

private:
    BSTR string_ = nullptr;
};
