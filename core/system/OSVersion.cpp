#include "core/system/OSVersion.h"

#include <cstring>

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
typedef BOOL(WINAPI* GetProductInfoFn)(DWORD, DWORD, DWORD, DWORD, PDWORD);
typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);

// Frees the library on every path out of the probe.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
    ~LoadedLibrary()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE Get() const { return module_; }

    template <typename Fn>
    Fn Entry(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

}  // namespace

COSVersion::COSVersion() : isWow64_(FALSE), productType_(0)
{
    std::memset(&versionInfo_, 0, sizeof(versionInfo_));
    std::memset(&nativeSystemInfo_, 0, sizeof(nativeSystemInfo_));
    Probe();
}

BOOL COSVersion::Probe()
{
    LoadedLibrary kernel32(L"Kernel32.dll");

    std::memset(&versionInfo_, 0, sizeof(versionInfo_));
    std::memset(&nativeSystemInfo_, 0, sizeof(nativeSystemInfo_));

    // The basic record first: systems that reject the extended size still give their numbers.
    versionInfo_.dwOSVersionInfoSize = kBasicInfoSize;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&versionInfo_))) {
        versionInfo_.dwOSVersionInfoSize = kExtendedInfoSize;
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&versionInfo_))) {
            versionInfo_.dwOSVersionInfoSize = kBasicInfoSize;
        }
    }

    if (kernel32.Get() == nullptr) {
        return TRUE;
    }
    if (auto isWow64Process = kernel32.Entry<IsWow64ProcessFn>("IsWow64Process")) {
        isWow64Process(GetCurrentProcess(), &isWow64_);
    }
    if (auto getProductInfo = kernel32.Entry<GetProductInfoFn>("GetProductInfo")) {
        getProductInfo(versionInfo_.dwMajorVersion, versionInfo_.dwMinorVersion,
                       versionInfo_.wServicePackMajor, versionInfo_.wServicePackMinor, &productType_);
    }
    if (auto getNativeSystemInfo = kernel32.Entry<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
        getNativeSystemInfo(&nativeSystemInfo_);
    }
    return TRUE;
}
