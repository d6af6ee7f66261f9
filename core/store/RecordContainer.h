#pragma once
//
//  The encrypted record container of the small stored items (password data, setting time
//  stamp, import-time record). The plain text is the record name's bytes, the payload's digest
//  and the payload; what is stored is the encryption of [u32 length of that plain text][plain
//  text][zeros to a multiple of 16].
//
#include "core/data/DataInterfaces.h"

#include <string>
#include <vector>

class CipherPair;
class DigestSession;

class RecordParser : public Data::IParser {
public:
    // None of the three is owned; digest and cipher may be null.
    RecordParser(const std::string& name, DigestSession* digest, CipherPair* cipher);

    // The vector that receives the payload; not owned.
    void SetTarget(std::vector<BYTE>* target) { target_ = target; }

    // Unwraps a stored value into the target; a damaged, truncated, foreign or wrongly keyed
    // value throws Data::IParser::_throws 1.
    void Parse(std::vector<BYTE>& in) override;

private:
    std::string name_;
    DigestSession* digest_;
    CipherPair* cipher_;
    std::vector<BYTE>* target_ = nullptr;
};

class RecordSerializer : public Data::ISerializer {
public:
    RecordSerializer(const std::string& name, DigestSession* digest, CipherPair* cipher);

    // The vector that holds the payload; not owned.
    void SetSource(const std::vector<BYTE>* source) { source_ = source; }

    // out becomes the stored form of the source; failure throws Data::ISerializer::_throws 1.
    void Serialize(std::vector<BYTE>& out) override;

private:
    std::string name_;
    DigestSession* digest_;
    CipherPair* cipher_;
    const std::vector<BYTE>* source_ = nullptr;
};
