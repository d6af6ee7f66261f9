#pragma once
//
//  What the ejector thread asks of an ejector, and the base of every implementation behind it.
//  Masks are unit masks: bit n stands for drive letter 'A' + n; only bits 0 to 25 mean anything.
//  Eject ORs into pending the bit of every drive whose ejection failed. Windows builds only.
//
#include <windows.h>

class CIMAPIEjectorInterface {
public:
    virtual ~CIMAPIEjectorInterface() = default;
    virtual HRESULT Initialize() = 0;
    virtual void Uninitialize() = 0;
    virtual void Eject(DWORD mask, DWORD& pending) = 0;
};

// Marks every implementation class.
class CImp {
public:
    virtual ~CImp() = default;
};

class CIMAPIEjectorImp : public CIMAPIEjectorInterface, public CImp {
public:
    HRESULT Initialize() override { return S_OK; }
    void Uninitialize() override {}
    void Eject(DWORD, DWORD&) override {}
};
