#include "session/remounter/DriveRemount.h"

#include "core/pipe/ServiceCommandClient.h"
#include "core/system/OSVersion.h"

#include <dbt.h>
#include <shlobj.h>

#include <cwctype>

namespace Quelmar {

namespace {

const DWORD kConnectMilliseconds = 5000;
// Drives states the remounter accepts from the service: allowed and the two read-only ones.
const LONG kStateAllowed = 0;
const LONG kStateReadOnly = 2;
const LONG kStateReadOnlyOther = 3;

WCHAR UpperLetter(WCHAR ch)
{
    return (ch >= L'a' && ch <= L'z') ? WCHAR(ch - L'a' + L'A') : ch;
}

bool IsDriveLetter(WCHAR ch)
{
    return ch >= L'A' && ch <= L'Z';
}

CString DriveRoot(WCHAR letter)
{
    CString root;
    root.Format(L"%c:\\", letter);
    return root;
}

}  // namespace

DWORD DriveUnitMask(const CString& drives)
{
    DWORD mask = 0;
    for (int i = 0; i < drives.GetLength(); ++i) {
        WCHAR letter = UpperLetter(drives[i]);
        if (IsDriveLetter(letter))
            mask |= 1u << (letter - L'A');
    }
    return mask;
}

BOOL QueryDriveState(WCHAR letter, LONG& state)
{
    ServiceCommandClient client(PipeReplyLimitSessionProgram);
    if (!client.ConnectWait(kConnectMilliseconds))
        return FALSE;
    DWORD version[4] = {};
    if (!client.GetVersion(version) || !IsServiceInterfaceVersion(version))
        return FALSE;
    LONG answered = -1;
    if (!client.GetDriveState(letter, answered))
        return FALSE;
    if (answered != kStateAllowed && answered != kStateReadOnly && answered != kStateReadOnlyOther)
        return FALSE;
    state = answered;
    return TRUE;
}

CString ReadOnlyDrives()
{
    CString drives;
    for (WCHAR letter = L'A'; letter <= L'Z'; ++letter) {
        if (GetDriveTypeW(DriveRoot(letter)) == DRIVE_NO_ROOT_DIR)
            continue;
        LONG state = kStateAllowed;
        if (QueryDriveState(letter, state) && (state == kStateReadOnly || state == kStateReadOnlyOther))
            drives += letter;
    }
    return drives;
}

void BroadcastVolumeChange(DWORD unitMask)
{
    const WPARAM events[] = {DBT_DEVICEREMOVEPENDING, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL};
    for (WPARAM event : events) {
        DEV_BROADCAST_VOLUME volume = {};
        volume.dbcv_size = sizeof volume;
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = unitMask ? unitMask : 0xFFFF;
        volume.dbcv_flags = 0;
        BroadcastSystemMessageW(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, nullptr, WM_DEVICECHANGE, event,
                                reinterpret_cast<LPARAM>(&volume));
    }
}

void RemountDrives(const CString& arguments)
{
    if (arguments.IsEmpty())
        return;
    CString drives = arguments;
    CString keyword = arguments;
    if (keyword.Trim().CompareNoCase(L"ALLRO") == 0) {
        drives = ReadOnlyDrives();
        if (drives.IsEmpty())
            return;
    }
    DWORD mask = DriveUnitMask(drives);
    COSVersion os;
    os.Probe();
    if (os.MajorVersion() < 6 || (os.MajorVersion() == 6 && os.MinorVersion() < 2))
        BroadcastVolumeChange(mask);
    for (int i = 0; i < drives.GetLength(); ++i) {
        WCHAR letter = UpperLetter(drives[i]);
        if (IsDriveLetter(letter))
            SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, DriveRoot(letter).GetString(), nullptr);
    }
}

}  // namespace Quelmar
