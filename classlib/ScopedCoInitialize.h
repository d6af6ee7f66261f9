#pragma once
//
//  Initialises COM on the calling thread for as long as it lives, and uninitialises it only
//  when the initialisation succeeded: a thread that is already in another apartment keeps its
//  own initialisation. Windows builds only.
//
#include <windows.h>
#include <objbase.h>

class ScopedCoInitialize {
public:
    ScopedCoInitialize() : result_(CoInitialize(nullptr)) {}
    ScopedCoInitialize(const ScopedCoInitialize&) = delete;
    ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;
    ~ScopedCoInitialize()
    {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }

    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};
