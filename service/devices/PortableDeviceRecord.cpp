#include "service/devices/PortableDeviceRecord.h"

#include "classlib/ScopedRegKey.h"

#include <algorithm>
#include <cstring>

namespace Quelmar {

const WCHAR kPortableDeviceKeyPath[] = L"SYSTEM\\CurrentControlSet\\Services\\QEVRINs\\WPD";

namespace {

// Registry value names are at most 16383 characters.
const DWORD kLongestValueName = 16384;
// A driver key is a few dozen characters: a value far beyond that is not one of ours.
const DWORD kLongestValueData = 64 * 1024;
// A value that keeps growing between two reads is given up after this many.
const int kMostRereads = 4;

CString IndexName(size_t index)
{
    CString name;
    name.Format(L"%u", static_cast<unsigned>(index));
    return name;
}

}  // namespace

void RecordDevices(const PortableDeviceList& list, const CString& keyPath)
{
    const std::vector<CString>& driverKeys = list.RecordedDriverKeys();
    if (driverKeys.empty()) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
        return;
    }
    ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    // Written over the old values in place, never after deleting them: at every moment the
    // key lists at least every device that is still disabled.
    std::vector<CString> names;
    for (size_t i = 0; i < driverKeys.size(); ++i) {
        names.push_back(IndexName(i));
        const CString& text = driverKeys[i];
        RegSetValueExW(key, names.back(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                       DWORD(text.GetLength() * sizeof(WCHAR)));
    }
    std::vector<CString> surplus;
    std::vector<WCHAR> name(kLongestValueName);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = DWORD(name.size());
        LONG result = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            break;
        CString found(name.data(), nameLength);
        if (std::find(names.begin(), names.end(), found) == names.end())
            surplus.push_back(found);
    }
    for (const CString& value : surplus)
        RegDeleteValueW(key, value);
}

BOOL ReadRecordedDevices(const CString& keyPath, std::vector<CString>& driverKeys)
{
    driverKeys.clear();
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return FALSE;
    std::vector<WCHAR> name(255);
    std::vector<BYTE> data(255);
    int rereads = 0;
    for (DWORD index = 0;;) {
        DWORD nameLength = DWORD(name.size());
        DWORD dataSize = DWORD(data.size());
        DWORD type = 0;
        LONG result = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (result == ERROR_MORE_DATA) {
            // Room for what the value reported, read again; a value that is far too large, or
            // that keeps outgrowing the room, is not a driver key and is passed over.
            if (++rereads > kMostRereads || dataSize > kLongestValueData) {
                rereads = 0;
                ++index;
                continue;
            }
            if (nameLength + 1 >= name.size() && name.size() < kLongestValueName)
                name.resize(std::min<size_t>(name.size() * 2, kLongestValueName));
            if (dataSize > data.size())
                data.resize(dataSize);
            continue;
        }
        if (result != ERROR_SUCCESS)
            break;
        rereads = 0;
        ++index;
        if (type != REG_SZ)
            continue;
        std::vector<WCHAR> text(dataSize / sizeof(WCHAR) + 1, 0);
        std::memcpy(text.data(), data.data(), dataSize / sizeof(WCHAR) * sizeof(WCHAR));
        CString driverKey(text.data(), text.size());
        if (!driverKey.IsEmpty() && std::find(driverKeys.begin(), driverKeys.end(), driverKey) == driverKeys.end())
            driverKeys.push_back(driverKey);
    }
    return TRUE;
}

void RestoreDevices(const CString& keyPath)
{
    std::vector<CString> driverKeys;
    // A key that cannot be read is left for the next start rather than lost.
    if (!ReadRecordedDevices(keyPath, driverKeys))
        return;
    PortableDeviceList list;
    list.SetRecordedDriverKeys(driverKeys);
    list.EnableRecorded();
    RecordDevices(list, keyPath);
    // What could not be enabled stays in the key for the next start, not for this list's end.
    list.SetRecordedDriverKeys({});
}

}  // namespace Quelmar
