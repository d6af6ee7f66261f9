#pragma once
//
//  Owns one COM interface pointer and releases it when it goes out of scope. Windows builds
//  only.
//
#include <windows.h>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For the out-parameter of CoCreateInstance and friends; releases any pointer held before.
    T** Receive()
    {
        Reset();
        return &pointer_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (pointer_ != nullptr) {
            T* pointer = pointer_;
            pointer_ = nullptr;
            pointer->Release();
        }
    }

private:
    T* pointer_ = nullptr;
};
