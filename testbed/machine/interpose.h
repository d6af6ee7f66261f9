#pragma once
//
//  How the testbed takes over a Win32 import, in one place.
//
//  Product code calls an imported function through its import-table pointer (__imp_Name on
//  x64, __imp__Name@bytes on x86). A testbed object that defines that pointer is linked into
//  the test executables before any import library, so the linker takes the definition from it
//  and never pulls the import library's entry: the call lands in the testbed. Production
//  binaries do not link these objects and call the system directly. The testbed reaches the
//  system's own function through GetProcAddress.
//
//  TESTBED_INTERPOSE(Name, bytes, Replacement) checks at compile time that the replacement has
//  the import's exact type and that bytes is the x86 argument size that the decorated name
//  carries (a wrong size would silently leave the import in place).
//
#include <windows.h>

#include <cstddef>
#include <type_traits>

namespace testbed {

// A reference argument (REFCLSID, REFIID) travels as a pointer, whatever it refers to.
template <typename A>
constexpr size_t ArgBytes()
{
    return std::is_reference<A>::value ? sizeof(void*) : (sizeof(A) + 3) / 4 * 4;
}

template <typename R, typename... A>
constexpr size_t ArgBytesOf(R(WINAPI*)(A...))
{
    return (size_t(0) + ... + ArgBytes<A>());
}

// The system's implementation of an interposed function, looked up once.
template <typename F>
F RealFunction(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    if (!handle)
        handle = ::LoadLibraryExW(module, nullptr, 0);
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

}  // namespace testbed

#define TESTBED_CHECK_TYPE(name, replacement)                                                      \
    static_assert(std::is_same<decltype(&replacement), decltype(&::name)>::value,                  \
                  #name ": the replacement must keep the import's type")

#ifdef _WIN64
#define TESTBED_INTERPOSE(name, bytes, replacement)                                                \
    TESTBED_CHECK_TYPE(name, replacement);                                                         \
    extern "C" {                                                                                   \
    extern void* __imp_##name;                                                                     \
    void* __imp_##name = reinterpret_cast<void*>(&replacement);                                    \
    }
#else
#define TESTBED_INTERPOSE(name, bytes, replacement)                                                \
    TESTBED_CHECK_TYPE(name, replacement);                                                         \
    static_assert(testbed::ArgBytesOf(static_cast<decltype(&::name)>(nullptr)) == (bytes),         \
                  #name ": wrong x86 argument size");                                              \
    extern "C" {                                                                                   \
    extern void* testbed_imp_##name __asm__("__imp__" #name "@" #bytes);                           \
    void* testbed_imp_##name = reinterpret_cast<void*>(&replacement);                              \
    }
#endif
