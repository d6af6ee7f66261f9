#pragma once
//
//  DataTransfer: moves one item's bytes from a source (a stored item's reader, or a record's
//  serializer) to a target (a record's parser, or a stored item's writer). Loading is
//  reader -> parser, saving serializer -> writer.
//
//  It catches nothing: when the source throws, the target is never called and the exception
//  reaches the caller.
//
#include "core/data/DataInterfaces.h"

class DataTransfer {
public:
    DataTransfer(Data::IReader& source, Data::IParser& target);
    DataTransfer(Data::IReader& source, Data::IWriter& target);
    DataTransfer(Data::ISerializer& source, Data::IParser& target);
    DataTransfer(Data::ISerializer& source, Data::IWriter& target);
    virtual ~DataTransfer() = default;

    void Run();

private:
    // Not owned; exactly one of each pair is set.
    Data::IReader* reader_ = nullptr;
    Data::ISerializer* serializer_ = nullptr;
    Data::IParser* parser_ = nullptr;
    Data::IWriter* writer_ = nullptr;
};
