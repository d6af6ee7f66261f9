#pragma once
//
//  The import-time record as its stored item: the whole file Imported.dat, in the encrypted
//  record container with its record name, keyed with the run-time key. Windows builds only.
//
#include "classlib/CString.h"
#include "core/model/ImportTimeRecord.h"
#include "core/store/ItemStorage.h"
#include "core/store/StoredItem.h"

namespace Quelmar {

struct ImportTimeFileStorage {
    explicit ImportTimeFileStorage(const CString& path);
    WholeFileStorage storage;
};

class ExportTimeImportedFileIO : private ImportTimeFileStorage, public StoredItem<ImportTimeRecord> {
public:
    // key: the run-time key built from the caller's key source.
    ExportTimeImportedFileIO(const BYTE* key, DWORD keyLength, const CString& path);
};

}  // namespace Quelmar
