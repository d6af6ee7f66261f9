#pragma once
//
//  A stored item: a record's payload in the encrypted record container, read from and written
//  to one storage (a registry value, a whole file). Loading pumps the storage's bytes through
//  the container check into the payload parser; saving pumps the payload through the container
//  into the storage. The digest session (MD5) and the cipher pair (AES-CBC with the item's own
//  key) are the item's and serve both directions.
//
#include "core/crypto/CipherPair.h"
#include "core/data/DataInterfaces.h"
#include "core/data/DataTransfer.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"
#include "core/store/RecordContainer.h"

#include <memory>
#include <string>
#include <vector>

template <typename Record>
class StoredItem {
public:
    typedef void (*PayloadParser)(const std::vector<BYTE>& payload, Record* bound);
    typedef void (*PayloadSerializer)(const Record* bound, std::vector<BYTE>& out);

    // reader and writer are the storage; they must outlive the item.
    StoredItem(Data::IReader& reader, Data::IWriter& writer, const std::string& name, const BYTE* key, DWORD keyLength,
               PayloadParser parsePayload, PayloadSerializer serializePayload)
        : digest_(CreateMd5DigestSession()),
          parserPart_(name, digest_.get(), &cipher_, parsePayload),
          serializerPart_(name, digest_.get(), &cipher_, serializePayload),
          load_(reader, parserPart_),
          save_(serializerPart_, writer)
    {
        KeyAesCbc(cipher_, key, keyLength);
    }
    StoredItem(const StoredItem&) = delete;
    StoredItem& operator=(const StoredItem&) = delete;
    virtual ~StoredItem() = default;

    // Reads the stored record into record; every failure is thrown (the storage's, the
    // container's or the payload parser's _throws value).
    void Load(Record& record)
    {
        parserPart_.Bind(&record);
        try {
            load_.Run();
        } catch (...) {
            parserPart_.Bind(nullptr);
            throw;
        }
        parserPart_.Bind(nullptr);
    }

    // Stores record; success is the absence of an exception.
    void Save(const Record& record)
    {
        serializerPart_.Bind(&record);
        try {
            save_.Run();
        } catch (...) {
            serializerPart_.Bind(nullptr);
            throw;
        }
        serializerPart_.Bind(nullptr);
    }

private:
    class ItemParserPart : public Data::IParser {
    public:
        ItemParserPart(const std::string& name, DigestSession* digest, CipherPair* cipher, PayloadParser parsePayload)
            : container_(name, digest, cipher), parsePayload_(parsePayload)
        {
        }
        void Bind(Record* record) { record_ = record; }
        void Parse(std::vector<BYTE>& in) override
        {
            std::vector<BYTE> payload;
            container_.SetTarget(&payload);
            container_.Parse(in);
            parsePayload_(payload, record_);
        }

    private:
        RecordParser container_;
        PayloadParser parsePayload_;
        Record* record_ = nullptr;
    };

    class ItemSerializerPart : public Data::ISerializer {
    public:
        ItemSerializerPart(const std::string& name, DigestSession* digest, CipherPair* cipher,
                           PayloadSerializer serializePayload)
            : container_(name, digest, cipher), serializePayload_(serializePayload)
        {
        }
        void Bind(const Record* record) { record_ = record; }
        void Serialize(std::vector<BYTE>& out) override
        {
            std::vector<BYTE> payload;
            serializePayload_(record_, payload);
            container_.SetSource(&payload);
            container_.Serialize(out);
            container_.SetSource(nullptr);
        }

    private:
        RecordSerializer container_;
        PayloadSerializer serializePayload_;
        const Record* record_ = nullptr;
    };

    std::unique_ptr<DigestSession> digest_;
    CipherPair cipher_;
    ItemParserPart parserPart_;
    ItemSerializerPart serializerPart_;
    DataTransfer load_;
    DataTransfer save_;
};

template <typename Item, typename Record>
void LoadItem(Item& item, Record& record)
{
    item.Load(record);
}

template <typename Item, typename Record>
void SaveItem(Item& item, const Record& record)
{
    item.Save(record);
}
