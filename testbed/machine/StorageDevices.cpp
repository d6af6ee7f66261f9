//
//  Volumes opened by their device paths and the storage control codes they answer, and the
//  device paths that tests serve for a while.
//
#include "testbed/machine/DevicePaths.h"

#include <winioctl.h>

#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>

namespace testbed {
namespace {

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::mutex gRegistrationLock;

std::map<std::wstring, DeviceOpener>& Registrations()
{
    static std::map<std::wstring, DeviceOpener> registrations;
    return registrations;
}

class VolumeHandle : public ControlledObject {
public:
    VolumeHandle(Machine& machine, Volume* volume) : machine_(machine), volume_(volume) {}

    BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        std::lock_guard<std::recursive_mutex> hold(machine_.Lock());
        if (machine_.beforeRequest)
            machine_.beforeRequest(code);
        DWORD ignored = 0;
        if (!returned)
            returned = &ignored;
        *returned = 0;
        if (!volume_->present)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        switch (code) {
        case IOCTL_STORAGE_GET_DEVICE_NUMBER:
            return DeviceNumber(out, outSize, returned);
        case IOCTL_STORAGE_QUERY_PROPERTY:
            return DeviceProperty(in, inSize, out, outSize, returned);
        }
        return Fail(ERROR_INVALID_FUNCTION);
    }

private:
    BOOL DeviceNumber(void* out, DWORD outSize, DWORD* returned)
    {
        if (volume_->storage.deviceNumberFails)
            return Fail(ERROR_INVALID_FUNCTION);
        if (!out || outSize < sizeof(STORAGE_DEVICE_NUMBER))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        STORAGE_DEVICE_NUMBER number = {};
        number.DeviceType = FILE_DEVICE_DISK;
        number.DeviceNumber = static_cast<DWORD>(DiskNumber());
        number.PartitionNumber = static_cast<DWORD>(PartitionNumber());
        std::memcpy(out, &number, sizeof(number));
        *returned = sizeof(number);
        return TRUE;
    }

    BOOL DeviceProperty(const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
    {
        if (volume_->storage.propertyQueryFails)
            return Fail(ERROR_INVALID_FUNCTION);
        STORAGE_PROPERTY_QUERY query;
        if (!in || inSize < sizeof(query))
            return Fail(ERROR_INVALID_PARAMETER);
        std::memcpy(&query, in, sizeof(query));
        if (query.PropertyId != StorageDeviceProperty)
            return Fail(ERROR_NOT_SUPPORTED);
        if (query.QueryType != PropertyStandardQuery)
            return Fail(ERROR_INVALID_PARAMETER);
        STORAGE_DEVICE_DESCRIPTOR descriptor = {};
        descriptor.Version = sizeof(descriptor);
        descriptor.Size = sizeof(descriptor);
        descriptor.RemovableMedia = volume_->storage.removableMedia ? TRUE : FALSE;
        descriptor.BusType = static_cast<STORAGE_BUS_TYPE>(BusType());
        // The system fills as much as the buffer holds and reports that much.
        DWORD length = outSize < sizeof(descriptor) ? outSize : DWORD(sizeof(descriptor));
        if (volume_->storage.propertyReplyBytes >= 0 && DWORD(volume_->storage.propertyReplyBytes) < length)
            length = DWORD(volume_->storage.propertyReplyBytes);
        if (!out && length)
            return Fail(ERROR_INVALID_PARAMETER);
        if (length)
            std::memcpy(out, &descriptor, length);
        *returned = length;
        return TRUE;
    }

    // Disks in the order their first volume appears; a volume of no known disk is its own.
    LONG DiskNumber()
    {
        if (volume_->storage.deviceNumber >= 0)
            return volume_->storage.deviceNumber;
        std::vector<const void*> disks;
        for (Volume* volume : machine_.Volumes()) {
            const void* disk = volume->disk ? static_cast<const void*>(volume->disk) : volume;
            size_t index = 0;
            while (index < disks.size() && disks[index] != disk)
                ++index;
            if (index == disks.size())
                disks.push_back(disk);
            if (volume == volume_)
                return static_cast<LONG>(index);
        }
        return 0;
    }

    LONG PartitionNumber()
    {
        if (volume_->storage.partitionNumber >= 0)
            return volume_->storage.partitionNumber;
        if (!volume_->disk)
            return 1;
        LONG partition = 0;
        for (Volume* volume : machine_.Volumes()) {
            if (volume->disk == volume_->disk)
                ++partition;
            if (volume == volume_)
                break;
        }
        return partition;
    }

    LONG BusType()
    {
        if (volume_->storage.busType >= 0)
            return volume_->storage.busType;
        return machine_.FindUsbDeviceAbove(volume_->disk) ? BusTypeUsb : BusTypeSata;
    }

    Machine& machine_;
    Volume* volume_;
};

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// "\\.\X:", "\\?\Volume{...}" or "\\.\Volume{...}" (no trailing backslash) and
// "\\.\HarddiskVolumeN": the volume, else null.
Volume* FindVolumeByDevicePath(Machine& machine, const std::wstring& path)
{
    if (!StartsWithNoCase(path, L"\\\\.\\") && !StartsWithNoCase(path, L"\\\\?\\"))
        return nullptr;
    std::wstring rest = path.substr(4);
    if (rest.size() == 2 && std::iswalpha(rest[0]) && rest[1] == L':')
        return machine.FindVolumeByLetter(rest[0]);
    for (Volume* volume : machine.Volumes()) {
        if (SameName(rest, volume->DosName()))
            return volume;
        if (SameName(L"\\Device\\" + rest, volume->deviceName))
            return volume;
    }
    return nullptr;
}

}  // namespace

bool OpenDevicePath(Machine& machine, const std::wstring& path, DWORD access, HANDLE& handle)
{
    DeviceOpener opener;
    {
        std::lock_guard<std::mutex> hold(gRegistrationLock);
        for (const auto& [registered, candidate] : Registrations()) {
            if (SameName(registered, path)) {
                opener = candidate;
                break;
            }
        }
    }
    if (opener) {
        DWORD error = ERROR_FILE_NOT_FOUND;
        std::shared_ptr<ControlledObject> object = opener(access, error);
        if (!object) {
            SetLastError(error);
            handle = INVALID_HANDLE_VALUE;
            return true;
        }
        handle = machine.OpenHandle(object);
        return true;
    }

    std::lock_guard<std::recursive_mutex> hold(machine.Lock());
    Volume* volume = FindVolumeByDevicePath(machine, path);
    if (!volume)
        return false;
    if (volume->storage.openFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        handle = INVALID_HANDLE_VALUE;
        return true;
    }
    handle = machine.OpenHandle(std::make_shared<VolumeHandle>(machine, volume));
    return true;
}

DevicePathRegistration::DevicePathRegistration(std::wstring path, DeviceOpener opener) : path_(std::move(path))
{
    std::lock_guard<std::mutex> hold(gRegistrationLock);
    Registrations()[path_] = std::move(opener);
}

DevicePathRegistration::~DevicePathRegistration()
{
    std::lock_guard<std::mutex> hold(gRegistrationLock);
    Registrations().erase(path_);
}

}  // namespace testbed
