#include "core/system/RegistryAccess.h"

#include "classlib/ScopedRegKey.h"
#include "core/system/ProductAccessList.h"

LONG RegCreateKeyWithDacl(const CString& subKey, REGSAM view)
{
    ProductAccessList access;
    if (!access.IsValid()) {
        return static_cast<LONG>(access.Error());
    }
    ScopedRegKey key;
    DWORD disposition = 0;
    // Only read access: a caller that does not own an existing key (a user saving the
    // password data on a key an administrator made) holds no WRITE_DAC on it and must still
    // get through.
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | view,
                                 access.Attributes(), key.Receive(), &disposition);
    if (error == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
        // Some registry implementations (Wine's among them) drop the descriptor given at
        // creation; setting it on the new key makes the list stand everywhere. The creator
        // owns the key it has just made, so it may change its list. A key that existed
        // before keeps its own list.
        ScopedRegKey owned;
        error = RegOpenKeyExW(key, nullptr, 0, WRITE_DAC | view, owned.Receive());
        if (error == ERROR_SUCCESS) {
            error = RegSetKeySecurity(owned, DACL_SECURITY_INFORMATION, access.Attributes()->lpSecurityDescriptor);
        }
    }
    return error;
}

LONG RegReadValue(const CString& subKey, REGSAM view, const CString& valueName, std::vector<BYTE>& bytes)
{
    ScopedRegKey key;
    LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ | view, key.Receive());
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD type = 0;
    DWORD size = 0;
    error = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (error != ERROR_SUCCESS || size == 0 || type != REG_BINARY) {
        return error;
    }
    std::vector<BYTE> data(size);
    error = RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size);
    if (error == ERROR_SUCCESS) {
        // The value may have shrunk between the two queries.
        data.resize(size);
        bytes.swap(data);
    }
    return error;
}
