#include "session/ejector/CIMAPIEjectorFactory.h"

#include "classlib/ComPtr.h"
#include "classlib/ScopedCoInitialize.h"
#include "classlib/ScopedHandle.h"
#include "classlib/platform/ImapiV1.h"
#include "classlib/platform/ImapiV2.h"
#include "session/ejector/CIMAPIEjectorImpV1.h"
#include "session/ejector/CIMAPIEjectorImpV2.h"
#include "session/ejector/SystemImapi2Module.h"

namespace {

bool CanCreate(REFCLSID clsid, DWORD context, REFIID iid)
{
    ComPtr<IUnknown> object;
    return SUCCEEDED(CoCreateInstance(clsid, nullptr, context, iid, object.ReceiveVoid())) && object;
}

// On a thread in a single-threaded apartment.
bool CanCreateSystemDiscMaster()
{
    SystemImapi2Module imapi2;
    ComPtr<IDiscMaster2> master;
    return SUCCEEDED(imapi2.Load()) &&
           SUCCEEDED(imapi2.CreateInstance(CLSID_MsftDiscMaster2, IID_IDiscMaster2, master.ReceiveVoid())) && master;
}

DWORD WINAPI AskInOwnApartment(LPVOID answer)
{
    ScopedCoInitialize com;
    *static_cast<bool*>(answer) = SUCCEEDED(com.Result()) && CanCreateSystemDiscMaster();
    return 0;
}

}  // namespace

CIMAPIEjectorImp* CIMAPIEjectorV2ImpCreator::Create()
{
    return new CIMAPIEjectorImpV2();
}

CIMAPIEjectorImp* CIMAPIEjectorV1ImpCreator::Create()
{
    return new CIMAPIEjectorImpV1();
}

bool IsImapiV2Usable()
{
    if (InSingleThreadedApartment()) {
        return CanCreateSystemDiscMaster();
    }
    // A caller in another apartment asks from a thread of its own in a single-threaded one,
    // where COM too would have made the disc master.
    bool usable = false;
    ScopedHandle thread(CreateThread(nullptr, 0, &AskInOwnApartment, &usable, 0, nullptr));
    return thread.IsValid() && WaitForSingleObject(thread.Get(), INFINITE) == WAIT_OBJECT_0 && usable;
}

bool IsImapiV1Usable()
{
    // Only where the system has no imapi2.dll: the first generation's classes are found
    // through a registration that the user can shape.
    SystemImapi2Module imapi2;
    return SystemImapi2Module::IsMissing(imapi2.Load()) && CanCreate(CLSID_MSDiscMasterObj, CLSCTX_LOCAL_SERVER, IID_IDiscMaster);
}

bool CanCreateEjectorImplementation()
{
    return IsImapiV2Usable() || IsImapiV1Usable();
}

bool SelectEjectorImplementation()
{
    CIMAPIEjectorFactory* factory = CIMAPIEjectorFactory::GetInstance();
    if (IsImapiV2Usable()) {
        factory->SetCreator(std::make_unique<CIMAPIEjectorV2ImpCreator>());
        return true;
    }
    if (IsImapiV1Usable()) {
        factory->SetCreator(std::make_unique<CIMAPIEjectorV1ImpCreator>());
        return true;
    }
    return false;
}
