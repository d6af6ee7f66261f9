#pragma once
//
//  The choice between the two ejector implementations, made once at program start, and the
//  process-wide factory that hands out the chosen one. Windows builds only.
//
#include "session/ejector/CIMAPIEjectorInterface.h"
#include "session/ejector/ImpFactory.h"

class CIMAPIEjectorV2ImpCreator : public CImpCreator<CIMAPIEjectorImp> {
public:
    CIMAPIEjectorImp* Create() override;
};

class CIMAPIEjectorV1ImpCreator : public CImpCreator<CIMAPIEjectorImp> {
public:
    CIMAPIEjectorImp* Create() override;
};

class CIMAPIEjectorFactory : public CImpFactory<CImpCreator<CIMAPIEjectorImp>>,
                             public DesignPatterns::Singleton<CIMAPIEjectorFactory> {};

// Whether the second generation's disc master can be made from the system's imapi2.dll, and
// whether, where that file is missing, the first generation's can be created as a local
// server. The calling thread has initialised COM; each test releases what it made at once.
bool IsImapiV2Usable();
bool IsImapiV1Usable();
// Whether either implementation can be created.
bool CanCreateEjectorImplementation();

// Sets the creator of the second generation into the factory when it is usable, else the
// first's; false when neither is, and the factory is left without a creator.
bool SelectEjectorImplementation();
