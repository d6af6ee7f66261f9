#pragma once
//
//  CDBurning.dat: the Explorer CD burning policy value that the service found before it first
//  set the value itself. A record file without name or digest, enciphered with AES-128-CBC
//  under the state file's own key; the payload is the old value as one 32-bit little-endian
//  number, or empty when there was none to read. Windows builds only.
//
#include "core/store/RecordFile.h"

#include <memory>

class CipherPair;

class CdBurningStateFile : public RecordFile {
public:
    explicit CdBurningStateFile(const CString& path);
    ~CdBurningStateFile() override;

    // Each replaces the file; a file that cannot be written throws CFileException, a cipher
    // that refused its key throws -1.
    void SaveValue(DWORD value);
    void SaveEmpty();

private:
    std::unique_ptr<CipherPair> ownCipher_;
};
