#include "core/system/WmiOsVersionQuery.h"

#include <oleauto.h>

namespace {

// The WBEM administrative locator and its interface; named here so that no GUID library has
// to be linked for two constants.
const CLSID kClsidWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

class ScopedBstr {
public:
    explicit ScopedBstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ~ScopedBstr() { SysFreeString(text_); }
    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    ~ScopedVariant() { VariantClear(&value_); }
    VARIANT* Get() { return &value_; }

private:
    VARIANT value_;
};

}  // namespace

void WmiConnection::Disconnect()
{
    services_.Reset();
    locator_.Reset();
}

HRESULT WmiConnection::Connect(const wchar_t* wmiNamespace)
{
    Disconnect();
    HRESULT hr = CoCreateInstance(kClsidWbemAdministrativeLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                  locator_.ReceiveVoid());
    if (SUCCEEDED(hr)) {
        ScopedBstr path(wmiNamespace);
        hr = path.Get() == nullptr ? E_OUTOFMEMORY
                                   : locator_->ConnectServer(path.Get(), nullptr, nullptr, nullptr,
                                                             WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                                             services_.Receive());
    }
    if (SUCCEEDED(hr)) {
        hr = CoSetProxyBlanket(services_.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        // A services object served in-process is no proxy and has no blanket to set.
        if (hr == E_NOINTERFACE) {
            hr = S_OK;
        }
    }
    if (FAILED(hr)) {
        Disconnect();
    }
    return hr;
}

HRESULT WmiOsVersionQuery::QueryVersion(CString& version)
{
    version.Empty();
    if (!services_) {
        return E_POINTER;
    }
    ScopedBstr language(L"WQL");
    ScopedBstr query(L"SELECT Version FROM Win32_OperatingSystem");
    if (language.Get() == nullptr || query.Get() == nullptr) {
        return E_OUTOFMEMORY;
    }
    ComPtr<IEnumWbemClassObject> objects;
    HRESULT hr = services_->ExecQuery(language.Get(), query.Get(), WBEM_FLAG_FORWARD_ONLY, nullptr, objects.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        hr = objects->Next(WBEM_INFINITE, 1, object.Receive(), &returned);
        if (hr != WBEM_S_NO_ERROR || returned == 0) {
            // No object held a readable version: the result of the last Next stands.
            return hr == WBEM_S_NO_ERROR ? static_cast<HRESULT>(WBEM_S_FALSE) : hr;
        }
        ScopedVariant value;
        if (FAILED(object->Get(L"Version", 0, value.Get(), nullptr, nullptr))) {
            continue;
        }
        if (value.Get()->vt != VT_BSTR || value.Get()->bstrVal == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        version = value.Get()->bstrVal;
        return S_OK;
    }
}
