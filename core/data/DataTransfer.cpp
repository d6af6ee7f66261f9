#include "core/data/DataTransfer.h"

DataTransfer::DataTransfer(Data::IReader& source, Data::IParser& target)
    : reader_(&source), parser_(&target)
{
}

DataTransfer::DataTransfer(Data::IReader& source, Data::IWriter& target)
    : reader_(&source), writer_(&target)
{
}

DataTransfer::DataTransfer(Data::ISerializer& source, Data::IParser& target)
    : serializer_(&source), parser_(&target)
{
}

DataTransfer::DataTransfer(Data::ISerializer& source, Data::IWriter& target)
    : serializer_(&source), writer_(&target)
{
}

void DataTransfer::Run()
{
    std::vector<BYTE> bytes;
    if (reader_ != nullptr) {
        reader_->Read(bytes);
    } else {
        serializer_->Serialize(bytes);
    }
    if (parser_ != nullptr) {
        parser_->Parse(bytes);
    } else {
        writer_->Write(bytes);
    }
}
