//
//  CoCreateInstance hands out the simulated disc-recording objects while a DiscSystem lives,
//  the second generation's from the server that the user's own class registration names where
//  there is one; every other class goes to the system. SysFreeString and SafeArrayDestroy tell
//  the disc system which of the strings and arrays it handed out came back.
//
#include "classlib/platform/ImapiV1.h"
#include "classlib/platform/ImapiV2.h"
#include "testbed/imapi/SimulatedObject.h"
#include "testbed/machine/interpose.h"

#include <oleauto.h>

namespace testbed {
namespace {

// Like the system, refuse to create objects on a thread that has not initialised COM.
bool ComInitialisedOnThisThread()
{
    using GetApartmentType = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);
    static auto query = RealFunction<GetApartmentType>(L"ole32.dll", "CoGetApartmentType");
    if (!query)
        return true;
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return query(&type, &qualifier) != CO_E_NOTINITIALIZED;
}

HRESULT WINAPI TestbedCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    static auto real = RealFunction<decltype(&::CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    DiscSystem* system = DiscSystem::Current();
    const bool first = IsEqualCLSID(clsid, CLSID_MSDiscMasterObj);
    const bool second = IsEqualCLSID(clsid, CLSID_MsftDiscMaster2) || IsEqualCLSID(clsid, CLSID_MsftDiscRecorder2) ||
                        IsEqualCLSID(clsid, CLSID_MsftDiscFormat2Data);
    if (!system || (!first && !second))
        return real(clsid, outer, context, iid, object);
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!ComInitialisedOnThisThread())
        return CO_E_NOTINITIALIZED;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    // The disc master service is a local server; the second generation lives in-process.
    if (first && (!system->firstGenerationRegistered || !(context & CLSCTX_LOCAL_SERVER)))
        return REGDB_E_CLASSNOTREG;
    if (second && system->userClassServer == UserClassServer::Missing)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    if (second && system->userClassServer == UserClassServer::UsersOwn) {
        system->UserServerLoaded();
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    if (second && (!system->imapi2.present || !(context & CLSCTX_INPROC_SERVER)))
        return REGDB_E_CLASSNOTREG;

    IUnknown* created = first ? NewDiscMasterV1(*system) : NewSecondGenerationObject(*system, clsid);
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

void WINAPI TestbedSysFreeString(BSTR string)
{
    static auto real = RealFunction<decltype(&::SysFreeString)>(L"oleaut32.dll", "SysFreeString");
    if (DiscSystem* system = DiscSystem::Current())
        system->TakeBack(string);
    real(string);
}

HRESULT WINAPI TestbedSafeArrayDestroy(SAFEARRAY* array)
{
    static auto real = RealFunction<decltype(&::SafeArrayDestroy)>(L"oleaut32.dll", "SafeArrayDestroy");
    if (DiscSystem* system = DiscSystem::Current())
        system->TakeBack(array);
    return real(array);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(CoCreateInstance, 20, testbed::TestbedCoCreateInstance)
TESTBED_INTERPOSE(SysFreeString, 4, testbed::TestbedSysFreeString)
TESTBED_INTERPOSE(SafeArrayDestroy, 4, testbed::TestbedSafeArrayDestroy)
