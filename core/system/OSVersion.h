#pragma once
//
//  COSVersion reads the system's version numbers, the WOW64 state, the product type and the
//  native system information once, when it is built. Entry points that an older system lacks
//  leave their field zero. The rule predicates are those of OSVersionRules.h, applied to the
//  probed major and minor numbers.
//
#include <windows.h>

#include "core/system/OSVersionRules.h"

static_assert(sizeof(OSVERSIONINFOW) == 276, "basic version record size");
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "extended version record size");

class COSVersion {
public:
    // The size field of the version record tells how much of it GetVersionExW filled.
    static constexpr DWORD kBasicInfoSize = sizeof(OSVERSIONINFOW);
    static constexpr DWORD kExtendedInfoSize = sizeof(OSVERSIONINFOEXW);

    COSVersion();
    virtual ~COSVersion() = default;

    BOOL Probe();

    DWORD MajorVersion() const { return versionInfo_.dwMajorVersion; }
    DWORD MinorVersion() const { return versionInfo_.dwMinorVersion; }
    WORD ServicePackMajor() const { return versionInfo_.wServicePackMajor; }
    WORD ServicePackMinor() const { return versionInfo_.wServicePackMinor; }
    BOOL IsWow64() const { return isWow64_; }
    DWORD ProductType() const { return productType_; }
    const SYSTEM_INFO& NativeSystemInfo() const { return nativeSystemInfo_; }
    const OSVERSIONINFOEXW& VersionInfo() const { return versionInfo_; }

    bool IsLaterThan5_0() const { return Quelmar::OSVersionRules::IsLaterThan5_0(MajorVersion(), MinorVersion()); }
    bool Is5xAfter5_0() const { return Quelmar::OSVersionRules::Is5xAfter5_0(MajorVersion(), MinorVersion()); }
    bool IsExactly5_0() const { return Quelmar::OSVersionRules::IsExactly5_0(MajorVersion(), MinorVersion()); }
    bool HasIntegrityLevels() const { return Quelmar::OSVersionRules::HasIntegrityLevels(MajorVersion(), MinorVersion()); }
    bool Is6_0() const { return Quelmar::OSVersionRules::Is6_0(MajorVersion(), MinorVersion()); }
    bool Is6_1() const { return Quelmar::OSVersionRules::Is6_1(MajorVersion(), MinorVersion()); }
    bool Is6_2OrLater() const { return Quelmar::OSVersionRules::Is6_2OrLater(MajorVersion(), MinorVersion()); }
    bool IsBefore6_2() const { return Quelmar::OSVersionRules::IsBefore6_2(MajorVersion(), MinorVersion()); }
    bool IsBefore6_3() const { return Quelmar::OSVersionRules::IsBefore6_3(MajorVersion(), MinorVersion()); }
    bool Is6_3OrLater() const { return Quelmar::OSVersionRules::Is6_3OrLater(MajorVersion(), MinorVersion()); }

private:
    OSVERSIONINFOEXW versionInfo_;
    BOOL isWow64_;
    DWORD productType_;
    SYSTEM_INFO nativeSystemInfo_;
};
