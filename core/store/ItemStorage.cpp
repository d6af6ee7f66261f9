#include "core/store/ItemStorage.h"

#include "classlib/ScopedRegKey.h"
#include "core/store/StoreConstants.h"
#include "core/store/WholeFile.h"

CString ItemKeyPath(const CString& productKeyPath)
{
    return productKeyPath + L"\\" + StoreConstants::kItemKeyName;
}

RegistryValueStorage::RegistryValueStorage(const CString& keyPath, const CString& valueName)
    : keyPath_(keyPath), valueName_(valueName)
{
}

void RegistryValueStorage::Read(std::vector<BYTE>& out)
{
    out.clear();
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_, 0, KEY_READ | kProductKeyView, key.Receive()) != ERROR_SUCCESS) {
        throw Data::IReader::Failed;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName_, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        throw Data::IReader::Failed;
    }
    if (size == 0 || type != REG_BINARY) {
        return;
    }
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key, valueName_, nullptr, &type, data.data(), &size) != ERROR_SUCCESS || type != REG_BINARY) {
        throw Data::IReader::Failed;
    }
    data.resize(size);
    out.swap(data);
}

void RegistryValueStorage::Write(std::vector<BYTE>& in)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_, 0, KEY_WRITE | kProductKeyView, key.Receive()) != ERROR_SUCCESS) {
        throw Data::IWriter::Failed;
    }
    if (RegSetValueExW(key, valueName_, 0, REG_BINARY, in.data(), static_cast<DWORD>(in.size())) != ERROR_SUCCESS) {
        throw Data::IWriter::Failed;
    }
}

WholeFileStorage::WholeFileStorage(const CString& path) : path_(path) {}

void WholeFileStorage::Read(std::vector<BYTE>& out)
{
    ReadWholeFile(path_, out);
}

void WholeFileStorage::Write(std::vector<BYTE>& in)
{
    WriteWholeFile(path_, in);
}
