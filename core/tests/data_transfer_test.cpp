#include "core/data/DataTransfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;

// A stored item and a record, each noting what it was handed.
class FakeItem : public Data::IReader, public Data::IWriter {
public:
    void Read(Bytes& out) override
    {
        if (failRead) {
            throw Data::IReader::Failed;
        }
        out = stored;
    }
    void Write(Bytes& in) override { stored = in; ++writes; }

    Bytes stored;
    bool failRead = false;
    int writes = 0;
};

class FakeRecord : public Data::IParser, public Data::ISerializer {
public:
    void Parse(Bytes& in) override
    {
        parsed = in;
        ++parses;
    }
    void Serialize(Bytes& out) override
    {
        if (failSerialize) {
            throw Data::ISerializer::Failed;
        }
        out.clear();
        out = encoded;
    }

    Bytes encoded;
    Bytes parsed;
    bool failSerialize = false;
    int parses = 0;
};

TEST(DataTransfer, LoadsFromReaderIntoParser)
{
    FakeItem item;
    FakeRecord record;
    item.stored = {1, 2, 3};
    DataTransfer(static_cast<Data::IReader&>(item), static_cast<Data::IParser&>(record)).Run();
    EXPECT_EQ(record.parsed, (Bytes{1, 2, 3}));
}

TEST(DataTransfer, SavesFromSerializerIntoWriter)
{
    FakeItem item;
    FakeRecord record;
    record.encoded = {4, 5};
    DataTransfer(static_cast<Data::ISerializer&>(record), static_cast<Data::IWriter&>(item)).Run();
    EXPECT_EQ(item.stored, (Bytes{4, 5}));
    EXPECT_EQ(item.writes, 1);
}

TEST(DataTransfer, SourceFailureReachesCallerBeforeTargetRuns)
{
    FakeItem item;
    FakeRecord record;
    item.failRead = true;
    DataTransfer load(static_cast<Data::IReader&>(item), static_cast<Data::IParser&>(record));
    try {
        load.Run();
        FAIL() << "the reader's failure was swallowed";
    } catch (Data::IReader::_throws e) {
        EXPECT_EQ(e, 1);
    }
    EXPECT_EQ(record.parses, 0);

    record.failSerialize = true;
    DataTransfer save(static_cast<Data::ISerializer&>(record), static_cast<Data::IWriter&>(item));
    EXPECT_THROW(save.Run(), Data::ISerializer::_throws);
    EXPECT_EQ(item.writes, 0);
}

}  // namespace
