#pragma once
//
//  The Windows version as WMI reports it ("10.0.19045"). The programs' manifests cap what
//  GetVersionExW reports at 6.3, so decisions that must tell Windows 10 builds apart ask WMI.
//  The calling thread must have initialised COM. Windows builds only.
//
#include "classlib/CString.h"
#include "classlib/ComPtr.h"

#include <windows.h>
#include <wbemcli.h>

class WmiConnection {
public:
    WmiConnection() = default;
    WmiConnection(const WmiConnection&) = delete;
    WmiConnection& operator=(const WmiConnection&) = delete;
    virtual ~WmiConnection() { Disconnect(); }

    // Connects to the given namespace ("ROOT\\CIMV2"); any failure leaves no connection.
    HRESULT Connect(const wchar_t* wmiNamespace);
    void Disconnect();

protected:
    ComPtr<IWbemLocator> locator_;
    ComPtr<IWbemServices> services_;
};

class WmiOsVersionQuery : public WmiConnection {
public:
    // Reads Win32_OperatingSystem.Version into version. 0 when a text was read; 87 when the
    // property is not a text; otherwise the failing HRESULT.
    HRESULT QueryVersion(CString& version);
};
