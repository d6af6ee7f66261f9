#include "core/process/ImagePath.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplaceDevicePrefix, MatchesOnlyAWholeDeviceName)
{
    struct Case {
        const WCHAR* path;
        const WCHAR* device;
        bool replaced;
        const WCHAR* result;
    } cases[] = {
        {_T("\\Device\\HarddiskVolume1\\app\\x.exe"), _T("\\Device\\HarddiskVolume1"), true, _T("C:\\app\\x.exe")},
        {_T("\\device\\harddiskvolume1\\x.exe"), _T("\\Device\\HarddiskVolume1"), true, _T("C:\\x.exe")},
        {_T("\\Device\\HarddiskVolume12\\x.exe"), _T("\\Device\\HarddiskVolume1"), false, _T("\\Device\\HarddiskVolume12\\x.exe")},
        {_T("\\Device\\HarddiskVolume1"), _T("\\Device\\HarddiskVolume1"), true, _T("C:")},
        {_T("\\Device\\Harddisk"), _T("\\Device\\HarddiskVolume1"), false, _T("\\Device\\Harddisk")},
        {_T("\\Device\\HarddiskVolume1\\x.exe"), _T(""), false, _T("\\Device\\HarddiskVolume1\\x.exe")},
    };
    for (const Case& c : cases) {
        CString path(c.path);
        EXPECT_EQ(ReplaceDevicePrefix(path, CString(c.device), _T("C:")), c.replaced);
        EXPECT_EQ(path, CString(c.result));
    }
}

TEST(DropWin32NamespacePrefix, DropsItOnlyBeforeADrivePath)
{
    struct Case {
        const WCHAR* path;
        const WCHAR* result;
    } cases[] = {
        {_T("\\??\\C:\\Windows\\explorer.exe"), _T("C:\\Windows\\explorer.exe")},
        {_T("\\??\\z:\\x.exe"), _T("z:\\x.exe")},
        {_T("\\??\\UNC\\server\\share\\x.exe"), _T("\\??\\UNC\\server\\share\\x.exe")},
        {_T("\\??\\C:"), _T("\\??\\C:")},
        {_T("C:\\x.exe"), _T("C:\\x.exe")},
    };
    for (const Case& c : cases) {
        CString path(c.path);
        DropWin32NamespacePrefix(path);
        EXPECT_EQ(path, CString(c.result));
    }
}

}  // namespace
