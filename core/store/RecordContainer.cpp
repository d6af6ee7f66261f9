#include "core/store/RecordContainer.h"

#include "core/data/DataParser.h"
#include "core/data/DataSerializer.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"

#include <algorithm>

using Data::ThrowParseFailure;
using Data::ThrowSerializeFailure;

RecordParser::RecordParser(const std::string& name, DigestSession* digest, CipherPair* cipher)
    : name_(name), digest_(digest), cipher_(cipher)
{
}

void RecordParser::Parse(std::vector<BYTE>& in)
{
    if (in.empty() || target_ == nullptr) {
        ThrowParseFailure();
    }
    std::vector<BYTE>& buffer = *target_;
    buffer = in;

    if (cipher_ != nullptr) {
        // Nothing of ours stores a size that is no multiple of the block: such a value was
        // never encrypted, and taking it as it stands would accept a hand-made plain value
        // without the key.
        if (buffer.size() % kRecordBlockSize != 0 ||
            DecryptWhole(*cipher_, buffer.data(), static_cast<DWORD>(buffer.size())) != 0) {
            ThrowParseFailure();
        }
        DataParser parser(buffer.data(), static_cast<DWORD>(buffer.size()));
        DWORD length = 0;
        if (parser.ReadU32(length) != 0) {
            ThrowParseFailure();
        }
        // The length is the stored value's own word: never trust it beyond the bytes present.
        if (length > buffer.size() - 4) {
            ThrowParseFailure();
        }
        buffer.erase(buffer.begin(), buffer.begin() + 4);
        buffer.resize(length);
    }

    if (!name_.empty()) {
        if (buffer.size() < name_.size() || !std::equal(name_.begin(), name_.end(), buffer.begin())) {
            ThrowParseFailure();
        }
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(name_.size()));
    }

    if (digest_ != nullptr) {
        const DWORD size = digest_->GetDigestSize();
        if (buffer.size() < size) {
            ThrowParseFailure();
        }
        if (!PayloadDigestMatches(*digest_, buffer.data() + size, static_cast<DWORD>(buffer.size() - size),
                                  buffer.data())) {
            ThrowParseFailure();
        }
        buffer.erase(buffer.begin(), buffer.begin() + size);
    }
}

RecordSerializer::RecordSerializer(const std::string& name, DigestSession* digest, CipherPair* cipher)
    : name_(name), digest_(digest), cipher_(cipher)
{
}

void RecordSerializer::Serialize(std::vector<BYTE>& out)
{
    if (source_ == nullptr) {
        ThrowSerializeFailure();
    }
    const std::vector<BYTE>& payload = *source_;
    out.clear();

    DataSerializer plain;
    if (!name_.empty()) {
        plain.AppendText(name_);
    }
    if (digest_ != nullptr) {
        std::vector<BYTE> digest(digest_->GetDigestSize());
        if (!ComputePayloadDigest(*digest_, payload.data(), static_cast<DWORD>(payload.size()), digest.data(),
                                  static_cast<DWORD>(digest.size()))) {
            ThrowSerializeFailure();
        }
        plain.AppendVector(digest);
    }
    plain.AppendVector(payload);

    if (cipher_ == nullptr) {
        out = plain.Bytes();
        return;
    }
    try {
        DataSerializer stored;
        stored.WriteU32(static_cast<DWORD>(plain.Bytes().size()));
        stored.AppendVector(plain.Bytes());
        std::vector<BYTE> buffer = stored.Bytes();
        buffer.resize((buffer.size() + kRecordBlockSize - 1) / kRecordBlockSize * kRecordBlockSize, 0);
        if (EncryptWhole(*cipher_, buffer.data(), static_cast<DWORD>(buffer.size())) != 0) {
            ThrowSerializeFailure();
        }
        out.swap(buffer);
    } catch (...) {
        out.clear();
        ThrowSerializeFailure();
    }
}
