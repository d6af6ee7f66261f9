#include "session/ejector/SystemImapi2Module.h"

#include "classlib/ComPtr.h"
#include "classlib/ScopedCoInitialize.h"

#include <string>

HRESULT SystemImapi2Module::Load()
{
    Unload();
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(&path[0], MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW);
    }
    path.resize(length);
    if (path.back() != L'\\') {
        path += L'\\';
    }
    path += L"imapi2.dll";
    // A full path loads that file and no other; the altered search path takes what it needs
    // from the system folder too, never from the program's folder.
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module_ == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    getClassObject_ = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    if (getClassObject_ == nullptr) {
        const HRESULT failure = HRESULT_FROM_WIN32(GetLastError());
        Unload();
        return failure;
    }
    return S_OK;
}

void SystemImapi2Module::Unload()
{
    getClassObject_ = nullptr;
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

bool SystemImapi2Module::IsMissing(HRESULT loadResult)
{
    return loadResult == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) || loadResult == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

HRESULT SystemImapi2Module::CreateInstance(REFCLSID clsid, REFIID iid, void** object) const
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (getClassObject_ == nullptr) {
        return E_UNEXPECTED;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject_(clsid, IID_IClassFactory, factory.ReceiveVoid());
    if (SUCCEEDED(hr) && !factory) {
        hr = E_UNEXPECTED;
    }
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, iid, object);
    }
    return hr;
}

bool InSingleThreadedApartment()
{
    // Windows 6.0 has no CoGetApartmentType: a second single-threaded initialisation succeeds
    // (S_FALSE) only on a thread in one; on any other it fails, or it would make one, which
    // goes again at once.
    ScopedCoInitialize probe;
    return probe.Result() == S_FALSE;
}
