#include "service/devices/DeviceInstaller.h"

#include "classlib/ScopedDevInfoList.h"

#include <cfgmgr32.h>

namespace Quelmar {

namespace {

const ULONG kInstanceIdChars = 200;

}  // namespace

BOOL CallPropertyChange(HDEVINFO set, SP_DEVINFO_DATA& deviceInfo, DWORD stateChange, DWORD scope, BOOL& rebootNeeded)
{
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = stateChange;
    params.Scope = scope;
    params.HwProfile = 0;
    if (!SetupDiSetClassInstallParamsW(set, &deviceInfo, &params.ClassInstallHeader, sizeof params))
        return FALSE;
    if (!SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, &deviceInfo))
        return FALSE;
    SP_DEVINSTALL_PARAMS_W install = {};
    install.cbSize = sizeof install;
    if (SetupDiGetDeviceInstallParamsW(set, &deviceInfo, &install) && (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)))
        rebootNeeded = TRUE;
    return TRUE;
}

BOOL DeviceInstaller::FindDevice(DEVINST devNode, HDEVINFO& set, SP_DEVINFO_DATA& deviceInfo)
{
    set = INVALID_HANDLE_VALUE;
    WCHAR wanted[kInstanceIdChars] = {};
    if (CM_Get_Device_IDW(devNode, wanted, kInstanceIdChars, 0) != CR_SUCCESS)
        wanted[0] = 0;
    ScopedDevInfoList all(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!all.IsValid())
        return FALSE;
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(all.Get(), index, &data); ++index) {
        bool match;
        if (wanted[0]) {
            WCHAR id[kInstanceIdChars] = {};
            match = CM_Get_Device_IDW(data.DevInst, id, kInstanceIdChars, 0) == CR_SUCCESS &&
                    CompareStringOrdinal(id, -1, wanted, -1, TRUE) == CSTR_EQUAL;
        } else {
            match = data.DevInst == devNode;
        }
        if (match) {
            set = all.Release();
            deviceInfo = data;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL DeviceInstaller::ChangeState(DEVINST devNode, DWORD scope, DWORD stateChange, BOOL& rebootNeeded)
{
    HDEVINFO found = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA deviceInfo = {};
    if (!FindDevice(devNode, found, deviceInfo))
        return FALSE;
    ScopedDevInfoList set(found);
    return CallPropertyChange(set.Get(), deviceInfo, stateChange, scope, rebootNeeded);
}

}  // namespace Quelmar
