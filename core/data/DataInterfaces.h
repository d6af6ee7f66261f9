#pragma once
//
//  The four interfaces of the storage framework: a byte source (IReader), a byte sink
//  (IWriter), a record parser (IParser) and a record serializer (ISerializer). Stored items
//  implement them in combination; DataTransfer pumps the bytes from a source to a target.
//
//  Each declares its own exception type _throws. Implementations throw it by value, always
//  with the value Failed (1); the facades above catch it and turn it into a result code.
//
#include "classlib/WinTypes.h"

#include <vector>

namespace Data {

class IReader {
public:
    enum _throws { Failed = 1 };
    virtual ~IReader();
    // Fills out with the stored bytes of the item.
    virtual void Read(std::vector<BYTE>& out) = 0;
};

class IWriter {
public:
    enum _throws { Failed = 1 };
    virtual ~IWriter();
    // Stores in as the item's bytes.
    virtual void Write(std::vector<BYTE>& in) = 0;
};

class IParser {
public:
    enum _throws { Failed = 1 };
    virtual ~IParser();
    // Decodes in into the record bound to the parser.
    virtual void Parse(std::vector<BYTE>& in) = 0;
};

class ISerializer {
public:
    enum _throws { Failed = 1 };
    virtual ~ISerializer();
    // Encodes the bound record into out, which is cleared first.
    virtual void Serialize(std::vector<BYTE>& out) = 0;
};

// The one failure each of the parser and serializer sides throws.
[[noreturn]] inline void ThrowParseFailure()
{
    throw IParser::Failed;
}

[[noreturn]] inline void ThrowSerializeFailure()
{
    throw ISerializer::Failed;
}

}  // namespace Data
