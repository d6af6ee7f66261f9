#pragma once
//
//  Ejects through the platform's in-process disc-recording classes (Windows Vista and later),
//  made from the system's own imapi2.dll: every recorder that the disc master lists, by its
//  mount paths, when its media is blank or its state cannot be read. Windows builds only.
//
#include "classlib/ComPtr.h"
#include "classlib/platform/ImapiV2.h"
#include "session/ejector/CIMAPIEjectorInterface.h"
#include "session/ejector/SystemImapi2Module.h"

class CIMAPIEjectorImpV2 : public CIMAPIEjectorImp {
public:
    HRESULT Initialize() override;
    void Uninitialize() override;
    void Eject(DWORD mask, DWORD& pending) override;
    // True, with the drive's bit, when the recorder's drive is in mask and its media is to go.
    virtual bool EjectIfInMask(DWORD mask, IDiscRecorder2* recorder, DWORD& bit);
    virtual bool GetDriveLetterBit(DWORD mask, IDiscRecorder2* recorder, DWORD& bit);
    virtual bool ShouldEjectMedia(IDiscRecorder2* recorder);

private:
    // Declared first: the module outlives every object made through it.
    SystemImapi2Module imapi2_;
    ComPtr<IDiscMaster2> master_;
};
