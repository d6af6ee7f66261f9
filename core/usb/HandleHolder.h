#pragma once
//
//  Owns one kernel handle (an event, semaphore or mutex) and closes it when it goes.
//
#include <windows.h>

class HandleHolder {
public:
    explicit HandleHolder(HANDLE handle = nullptr) : handle_(handle) {}
    ~HandleHolder()
    {
        if (handle_)
            CloseHandle(handle_);
    }
    HandleHolder(const HandleHolder&) = delete;
    HandleHolder& operator=(const HandleHolder&) = delete;

    HANDLE Get() const { return handle_; }
    operator HANDLE() const { return handle_; }

private:
    HANDLE handle_;
};
