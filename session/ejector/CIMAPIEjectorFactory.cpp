#include "session/ejector/CIMAPIEjectorFactory.h"

#include "classlib/ComPtr.h"
#include "classlib/platform/ImapiV1.h"
#include "classlib/platform/ImapiV2.h"
#include "session/ejector/CIMAPIEjectorImpV1.h"
#include "session/ejector/CIMAPIEjectorImpV2.h"

namespace {

bool CanCreate(REFCLSID clsid, DWORD context, REFIID iid)
{
    ComPtr<IUnknown> object;
    return SUCCEEDED(CoCreateInstance(clsid, nullptr, context, iid, object.ReceiveVoid())) && object;
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
    return CanCreate(CLSID_MsftDiscMaster2, CLSCTX_INPROC_SERVER, IID_IDiscMaster2);
}

bool IsImapiV1Usable()
{
    return CanCreate(CLSID_MSDiscMasterObj, CLSCTX_LOCAL_SERVER, IID_IDiscMaster);
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
