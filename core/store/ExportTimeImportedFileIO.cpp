#include "core/store/ExportTimeImportedFileIO.h"

#include "core/store/ItemPayloads.h"
#include "core/store/StoreConstants.h"

namespace Quelmar {

ImportTimeFileStorage::ImportTimeFileStorage(const CString& path) : storage(path) {}

ExportTimeImportedFileIO::ExportTimeImportedFileIO(const BYTE* key, DWORD keyLength, const CString& path)
    : ImportTimeFileStorage(path),
      StoredItem<ImportTimeRecord>(storage, storage, StoreConstants::kImportTimeRecordName, key, keyLength,
                                   ParseImportTimePayload, SerializeImportTimePayload)
{
}

}  // namespace Quelmar
