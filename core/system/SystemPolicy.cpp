#include "core/system/SystemPolicy.h"

#include "classlib/ScopedRegKey.h"
#include "core/system/VersionText.h"
#include "core/system/WmiOsVersionQuery.h"

LONG ReadNoCDBurningPolicy(DWORD& value)
{
    value = 0;
    ScopedRegKey key;
    LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer", 0,
                               KEY_READ | kExplorerPolicyView, key.Receive());
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD size = sizeof(value);
    DWORD type = 0;
    DWORD read = 0;
    error = RegQueryValueExW(key, L"NoCDBurning", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size);
    // Text such as "1" would read as the number of its characters' bytes: only a number counts.
    if (error == ERROR_SUCCESS && type != REG_DWORD) {
        return ERROR_INVALID_DATA;
    }
    if (error == ERROR_SUCCESS) {
        value = read;
    }
    return error;
}

HRESULT CheckLegacyFilterBlocking(int& flag)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\I/O System", 0, KEY_READ,
                      key.Receive()) == ERROR_SUCCESS) {
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegQueryValueExW(key, L"IoBlockLegacyFsFilters", nullptr, &type, nullptr, &size);
        DWORD value = 0;
        if (error == ERROR_SUCCESS && size == sizeof(value) && type == REG_DWORD) {
            error = RegQueryValueExW(key, L"IoBlockLegacyFsFilters", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                     &size);
        }
        if (error == ERROR_SUCCESS) {
            flag = value != 0 ? 1 : 0;
            return S_OK;
        }
    }
    return IsOsVersionAboveThreshold(flag);
}

HRESULT IsOsVersionAboveThreshold(int& flag)
{
    flag = 0;
    WmiOsVersionQuery query;
    HRESULT hr = query.Connect(L"ROOT\\CIMV2");
    if (FAILED(hr)) {
        return hr;
    }
    CString version;
    hr = query.QueryVersion(version);
    if (hr != S_OK) {
        return hr;
    }
    flag = CompareVersionStrings(version, L".", L"10.0.16299", L".") == 1 ? 1 : 0;
    return S_OK;
}
