#pragma once
//
//  Where a stored item's bytes live: one REG_BINARY value under HKEY_LOCAL_MACHINE (in the
//  32-bit registry view), or one whole file. Windows builds only.
//
#include "classlib/CString.h"
#include "core/data/DataInterfaces.h"

#include <windows.h>

#include <vector>

// The item key under a product key: "<product key>\{AA9C7DA6-...}".
CString ItemKeyPath(const CString& productKeyPath);

// The registry view that holds the product key. The x86 setting tool's items have always lived
// where a 32-bit program's HKEY_LOCAL_MACHINE\SOFTWARE leads, which 64-bit Windows redirects to
// its 32-bit view; every build opens that view, so that an x64 service or tool reads what the
// x86 tool stored and the other way round. 32-bit Windows ignores the flag.
constexpr REGSAM kProductKeyView = KEY_WOW64_32KEY;

class RegistryValueStorage : public Data::IReader, public Data::IWriter {
public:
    RegistryValueStorage(const CString& keyPath, const CString& valueName);

    // A missing key or value throws Data::IReader::_throws 1; a value of another type or of
    // size 0 gives no bytes, which the container then refuses.
    void Read(std::vector<BYTE>& out) override;
    // Writes into an existing key only; a missing key or a refused write throws
    // Data::IWriter::_throws 1.
    void Write(std::vector<BYTE>& in) override;

private:
    CString keyPath_;
    CString valueName_;
};

class WholeFileStorage : public Data::IReader, public Data::IWriter {
public:
    explicit WholeFileStorage(const CString& path);

    // Both let the file exception through (missing, locked or unwritable file).
    void Read(std::vector<BYTE>& out) override;
    void Write(std::vector<BYTE>& in) override;

private:
    CString path_;
};
