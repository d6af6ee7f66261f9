#include "core/data/DataTransfer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;

// A stored item and a record that note what they were handed; failing sources throw.
struct FakeItem : Data::IReader, Data::IWriter {
    void Read(Bytes& out) override
    {
        if (fail) {
            throw Data::IReader::Failed;
        }
        out = stored;
    }
    void Write(Bytes& in) override { stored = in; ++writes; }
    Bytes stored;
    bool fail = false;
    int writes = 0;
};

struct FakeRecord : Data::IParser, Data::ISerializer {
    void Parse(Bytes& in) override { parsed = in; ++parses; }
    void Serialize(Bytes& out) override
    {
        if (fail) {
            throw Data::ISerializer::Failed;
        }
        out = encoded;
    }
    Bytes encoded, parsed;
    bool fail = false;
    int parses = 0;
};

TEST(DataTransfer, LoadsReaderIntoParserAndSavesSerializerIntoWriter)
{
    FakeItem item;
    FakeRecord record;
    item.stored = {1, 2, 3};
    DataTransfer(static_cast<Data::IReader&>(item), static_cast<Data::IParser&>(record)).Run();
    EXPECT_EQ(record.parsed, (Bytes{1, 2, 3}));

    record.encoded = {4, 5};
    DataTransfer(static_cast<Data::ISerializer&>(record), static_cast<Data::IWriter&>(item)).Run();
    EXPECT_EQ(item.stored, (Bytes{4, 5}));
}

TEST(DataTransfer, SourceFailureReachesCallerBeforeTargetRuns)
{
    FakeItem item;
    FakeRecord record;
    item.fail = true;
    record.fail = true;
    try {
        DataTransfer(static_cast<Data::IReader&>(item), static_cast<Data::IParser&>(record)).Run();
        FAIL() << "the reader's failure was swallowed";
    } catch (Data::IReader::_throws e) {
        EXPECT_EQ(e, 1);
    }
    EXPECT_THROW(DataTransfer(static_cast<Data::ISerializer&>(record), static_cast<Data::IWriter&>(item)).Run(),
                 Data::ISerializer::_throws);
    EXPECT_EQ(record.parses, 0);
    EXPECT_EQ(item.writes, 0);
}

}  // namespace
