#include "session/ejector/CIMAPIEjector.h"

HRESULT CIMAPIEjector::Initialize()
{
    CIMAPIEjectorImp* implementation = implementation_.Get();
    return implementation ? implementation->Initialize() : E_NOINTERFACE;
}

void CIMAPIEjector::Uninitialize()
{
    if (CIMAPIEjectorImp* implementation = implementation_.Get()) {
        implementation->Uninitialize();
    }
}

void CIMAPIEjector::Eject(DWORD mask, DWORD& pending)
{
    if (CIMAPIEjectorImp* implementation = implementation_.Get()) {
        implementation->Eject(mask, pending);
    }
}

void CIMAPIEjector::EjectAll(DWORD& pending)
{
    Eject(0xFFFFFFFF, pending);
}
