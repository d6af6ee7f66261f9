#include "core/store/RecordFile.h"

#include "core/data/DataParser.h"
#include "core/store/WholeFile.h"

int RecordFile::Load(std::vector<BYTE>& out)
{
    ReadWholeFile(path_, out);
    return Unwrap(out);
}

void RecordFile::Save(const std::vector<BYTE>& payload)
{
    std::vector<BYTE> image(payload);
    Wrap(image);
    WriteWholeFile(path_, image);
}

void EncryptedRecordFile::ReadFormatTag()
{
    std::vector<BYTE> payload;
    if (Load(payload) != 1) {
        throw -1;
    }
    DataParser parser(payload.data(), static_cast<DWORD>(payload.size()));
    DWORD tag = 0;
    if (parser.ReadU32(tag) != 0) {
        throw -1;
    }
    formatTag = tag;
}
