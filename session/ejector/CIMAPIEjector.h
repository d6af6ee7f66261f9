#pragma once
//
//  The ejector the ejector thread holds: it forwards to the implementation that the factory
//  handed out when it was built, or does nothing when there was none. Windows builds only.
//
#include "session/ejector/CIMAPIEjectorFactory.h"

class CIMAPIEjector : public CIMAPIEjectorInterface {
public:
    HRESULT Initialize() override;
    void Uninitialize() override;
    void Eject(DWORD mask, DWORD& pending) override;
    // Eject over every drive.
    virtual void EjectAll(DWORD& pending);

    bool HasImplementation() const { return implementation_.Get() != nullptr; }

private:
    CClassInterfaceFactoryTemplate<CIMAPIEjectorFactory> implementation_;
};
