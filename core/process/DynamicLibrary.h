#pragma once
//
//  A library loaded by name at run time, so that a program still starts on a system that
//  lacks it. Derived classes look up their entry points in Resolve and forget them in Clear.
//
#include "classlib/CString.h"

#include <windows.h>

class DynamicLibrary {
public:
    explicit DynamicLibrary(const WCHAR* name) : name_(name) {}
    virtual ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library when it is not loaded yet and keeps it only when Resolve accepts it.
    virtual BOOL Load();
    bool IsLoaded() const { return module_ != nullptr; }
    const CString& Name() const { return name_; }

protected:
    // Looks up the entry points; FALSE when the library is not usable.
    virtual BOOL Resolve() { return TRUE; }
    // Forgets the entry points.
    virtual void Clear() {}

    template <typename F>
    F Entry(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_ = nullptr;
    CString name_;
};
