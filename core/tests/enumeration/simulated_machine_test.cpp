//
//  The simulated PC answers the way Windows does where the product depends on it.
//
#include "testbed/machine/Machine.h"

#include <gtest/gtest.h>

#include <setupapi.h>

#include <cstddef>
#include <vector>

namespace {

const GUID kVolumeInterface = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

TEST(SimulatedMachine, InterfaceDetailWantsTheRecordSizeNotTheBufferSize)
{
    testbed::Machine pc;
    testbed::Volume& volume = pc.AddVolume(nullptr, L'C', DRIVE_FIXED);
    HDEVINFO set = SetupDiGetClassDevsW(&kVolumeInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kVolumeInterface, 0, &data));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (volume.interfacePath.size() + 1) * sizeof(WCHAR));

    std::vector<BYTE> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = required;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    EXPECT_EQ(detail->cbSize, sizeof(void*) == 8 ? 8u : 6u);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &device));
    EXPECT_EQ(std::wstring(detail->DevicePath), volume.interfacePath);
    EXPECT_EQ(device.DevInst, volume.node->Handle());
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kVolumeInterface, 1, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(pc.OpenHandleCount(), 0u);
}

TEST(SimulatedMachine, VolumeNamesResolveFromLettersFoldersAndInterfaces)
{
    testbed::Machine pc;
    testbed::Volume& volume = pc.AddVolume(nullptr, L'E', DRIVE_REMOVABLE);
    volume.mountFolders.push_back(L"C:\\mnt\\stick\\");
    wchar_t name[MAX_PATH];
    for (const std::wstring& mountPoint : {std::wstring(L"e:\\"), std::wstring(L"C:\\mnt\\stick\\"), volume.interfacePath + L"\\"}) {
        ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(mountPoint.c_str(), name, MAX_PATH));
        EXPECT_EQ(std::wstring(name), volume.guidPath);
    }
    EXPECT_FALSE(GetVolumeNameForVolumeMountPointW(L"F:\\", name, MAX_PATH));
    EXPECT_EQ(GetDriveTypeW(L"E:\\"), UINT(DRIVE_REMOVABLE));
    EXPECT_EQ(GetDriveTypeW(L"F:\\"), UINT(DRIVE_NO_ROOT_DIR));
    wchar_t target[MAX_PATH];
    ASSERT_NE(QueryDosDeviceW(L"E:", target, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(target), volume.deviceName);
}

TEST(SimulatedMachine, DeviceNodesReportStatusAndVanishWhenRemoved)
{
    testbed::Machine pc;
    testbed::DeviceNode& node = pc.AddNode(pc.Root(), L"USB\\VID_1&PID_2\\3");
    node.problem = CM_PROB_DISABLED;
    ULONG status = 0, problem = 0;
    ASSERT_EQ(CM_Get_DevNode_Status(&status, &problem, node.Handle(), 0), CR_SUCCESS);
    EXPECT_EQ(problem, ULONG(CM_PROB_DISABLED));
    DEVINST found = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&found, const_cast<wchar_t*>(L"usb\\vid_1&pid_2\\3"), 0), CR_SUCCESS);
    EXPECT_EQ(found, node.Handle());
    pc.RemoveNode(node);
    EXPECT_EQ(CM_Get_DevNode_Status(&status, &problem, node.Handle(), 0), CR_INVALID_DEVNODE);
    EXPECT_EQ(CM_Get_Child(&found, pc.Root().Handle(), 0), CR_NO_SUCH_DEVNODE);
}

}  // namespace
