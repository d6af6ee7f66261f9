#include "core/data/DataInterfaces.h"

// Out of line, so that each interface's type information lives in one object and an exception
// thrown across module boundaries keeps its type.
Data::IReader::~IReader() = default;
Data::IWriter::~IWriter() = default;
Data::IParser::~IParser() = default;
Data::ISerializer::~ISerializer() = default;
