#pragma once
//
//  The system's own imapi2.dll, loaded by its full path in the system folder, and the second
//  generation's objects made by its class factory. CoCreateInstance would look the classes up
//  in HKEY_CLASSES_ROOT, where the user's HKCU\Software\Classes wins for a token that is not
//  elevated (the ejector runs with a standard user's token raised to high integrity): one
//  value written there would load the user's code into the ejector, or leave it with nothing
//  to eject with. The module stays loaded while this object lives, so every object made
//  through it is released first. The classes' threading model admits a single-threaded
//  apartment, and COM would make them in one: their objects are made only on a thread in a
//  single-threaded apartment. Windows builds only.
//
#include <windows.h>
#include <objbase.h>

class SystemImapi2Module {
public:
    SystemImapi2Module() = default;
    SystemImapi2Module(const SystemImapi2Module&) = delete;
    SystemImapi2Module& operator=(const SystemImapi2Module&) = delete;
    ~SystemImapi2Module() { Unload(); }

    // S_OK, or the failure of the load (IsMissing tells the file's absence).
    HRESULT Load();
    void Unload();
    static bool IsMissing(HRESULT loadResult);

    // A new object of one of the module's classes; the calling thread is in a single-threaded
    // apartment.
    HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** object) const;

private:
    HMODULE module_ = nullptr;
    LPFNGETCLASSOBJECT getClassObject_ = nullptr;
};

// Whether the calling thread is in a single-threaded apartment.
bool InSingleThreadedApartment();
