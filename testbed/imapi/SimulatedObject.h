#pragma once
//
//  The reference counting, interface lookup and (for the second generation's dual interfaces)
//  the late-bound calls that every simulated disc-recording object shares. Each object counts
//  itself in the disc system while it lives, and in the library whose code made it, if any.
//
#include "testbed/imapi/DiscSystem.h"

#include <objbase.h>
#include <oaidl.h>

#include <atomic>

namespace testbed {

template <typename Interface>
class SimulatedObject : public Interface {
public:
    explicit SimulatedObject(DiscSystem& system, LibraryFile* library = nullptr) : system_(system), library_(library)
    {
        system_.ObjectCreated();
        if (library_)
            ++library_->liveObjects;
    }
    SimulatedObject(const SimulatedObject&) = delete;
    SimulatedObject& operator=(const SimulatedObject&) = delete;
    virtual ~SimulatedObject()
    {
        if (library_)
            --library_->liveObjects;
        system_.ObjectDestroyed();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !Answers(iid))
            return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual bool Answers(REFIID iid) const = 0;

    DiscSystem& system_;

private:
    LibraryFile* library_;
    std::atomic<ULONG> references_{1};
};

// The second generation's interfaces are dual; nothing here calls them late-bound.
template <typename Interface>
class SimulatedDispatchObject : public SimulatedObject<Interface> {
public:
    using SimulatedObject<Interface>::SimulatedObject;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// New objects with one reference, for the interposed CoCreateInstance and the class factory
// of the system's imapi2.dll (library: that file, whose code they are).
IUnknown* NewDiscMasterV1(DiscSystem& system);
IUnknown* NewDiscMaster2(DiscSystem& system, LibraryFile* library = nullptr);
IUnknown* NewDiscRecorder2(DiscSystem& system, LibraryFile* library = nullptr);
IUnknown* NewDiscFormat2Data(DiscSystem& system, LibraryFile* library = nullptr);
// A new second-generation object of the class, or null for another class.
IUnknown* NewSecondGenerationObject(DiscSystem& system, REFCLSID clsid, LibraryFile* library = nullptr);

// The export of the system's imapi2.dll.
HRESULT WINAPI Imapi2DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

}  // namespace testbed
