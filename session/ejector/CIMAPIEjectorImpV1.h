#pragma once
//
//  Ejects through the platform's disc master service (Windows XP and 2003): every CD writer
//  that the service lists, found by its device path among the drive letters, when its media is
//  blank. Windows builds only.
//
#include "classlib/ComPtr.h"
#include "classlib/platform/ImapiV1.h"
#include "session/ejector/CIMAPIEjectorInterface.h"

class CIMAPIEjectorImpV1 : public CIMAPIEjectorImp {
public:
    HRESULT Initialize() override;
    void Uninitialize() override;
    void Eject(DWORD mask, DWORD& pending) override;
    virtual bool EjectIfInMask(DWORD mask, IDiscRecorder* recorder, DWORD& bit);
    virtual bool GetDriveLetterBit(DWORD mask, IDiscRecorder* recorder, DWORD& bit);
    virtual bool ShouldEjectMedia(IDiscRecorder* recorder);

private:
    // Creates and opens the disc master; a master held before is let go.
    HRESULT OpenMaster();
    // One pass over the listed recorders: the result of the listing's last call.
    HRESULT EjectEach(DWORD mask, DWORD& pending);

    ComPtr<IDiscMaster> master_;
};
