#pragma once
//
//  The service's handle on the filter driver's control device "\\.\QEVRINd". The driver
//  takes one open handle at a time: the start-up check and the enforcement thread take turns.
//
#include "classlib/CString.h"
#include "service/decision/VolumePolicyMap.h"

#include <windows.h>

namespace Quelmar {

class DriverControl {
public:
    // The process-wide object, created closed on first use.
    static DriverControl* GetInstance();
    // Deletes the object, closing its handle; the next GetInstance creates a new one.
    static void DeleteInstance();

    DriverControl(const DriverControl&) = delete;
    DriverControl& operator=(const DriverControl&) = delete;
    virtual ~DriverControl();
    virtual void Close();

    // Opens the device, trying again every 10 ms while the driver refuses, for at most the
    // limit. TRUE when open (also when it was open already).
    BOOL Open(DWORD limitMilliseconds);
    BOOL IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Hands the driver the mode word and the table; the BOOL of the call.
    BOOL SetPolicy(LONG mode, const VolumePolicyMap& map);
    BOOL AddExemptProcess(DWORD processId);
    BOOL RemoveExemptProcess(DWORD processId);
    // The driver's 8-byte interface version; FALSE when the call fails.
    BOOL QueryVersion(BYTE (&version)[8]);

private:
    DriverControl();

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    CString devicePath_;

    static DriverControl* instance_;
};

}  // namespace Quelmar
