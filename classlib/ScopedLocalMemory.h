#pragma once
//
//  Owns one block that a Win32 call allocated with LocalAlloc (an ACL from SetEntriesInAclW,
//  a security descriptor, a message text) and frees it with LocalFree. Windows builds only.
//
#include <windows.h>

template <typename T>
class ScopedLocalMemory {
public:
    ScopedLocalMemory() = default;
    ScopedLocalMemory(const ScopedLocalMemory&) = delete;
    ScopedLocalMemory& operator=(const ScopedLocalMemory&) = delete;
    ~ScopedLocalMemory() { Reset(); }

    T* Get() const { return block_; }
    T** Receive()
    {
        Reset();
        return &block_;
    }
    void Reset()
    {
        if (block_ != nullptr) {
            LocalFree(reinterpret_cast<HLOCAL>(block_));
            block_ = nullptr;
        }
    }

private:
    T* block_ = nullptr;
};
