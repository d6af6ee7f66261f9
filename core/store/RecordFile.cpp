#include "core/store/RecordFile.h"

#include "core/crypto/CipherPair.h"
#include "core/data/DataParser.h"
#include "core/store/CipherPairOps.h"
#include "core/store/DigestSession.h"

#include <algorithm>
#include <cstring>

RecordFile::RecordFile(const std::string& name, const CString& path) : path_(path), name_(name) {}

RecordFile::~RecordFile() = default;

int RecordFile::Unwrap(std::vector<BYTE>& buf)
{
    // With a cipher, a size that is no multiple of the block was never encrypted by us; taken
    // as it stands it would let a hand-made plain file through without the key.
    if (cipher_ != nullptr && (buf.size() % kRecordBlockSize != 0 ||
                               DecryptWhole(*cipher_, buf.data(), static_cast<DWORD>(buf.size())) != 0)) {
        return 0;
    }
    const size_t digestSize = digest_ != nullptr ? digest_->GetDigestSize() : 0;
    const size_t nameSize = name_.size();
    const size_t header = nameSize + digestSize + 4;
    if (buf.size() < header) {
        return 0;
    }
    if (!std::equal(name_.begin(), name_.end(), buf.begin())) {
        return 0;
    }
    DataParser parser(buf.data() + nameSize + digestSize, 4);
    DWORD length = 0;
    if (parser.ReadU32(length) != 0 || length > buf.size() - header) {
        return 0;
    }
    if (digest_ != nullptr &&
        !PayloadDigestMatches(*digest_, buf.data() + header, length, buf.data() + nameSize)) {
        return 0;
    }
    buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(header));
    buf.resize(length);
    return 1;
}

void RecordFile::Wrap(std::vector<BYTE>& buf)
{
    const size_t digestSize = digest_ != nullptr ? digest_->GetDigestSize() : 0;
    const size_t nameSize = name_.size();
    const size_t length = buf.size();
    size_t size = nameSize + digestSize + 4 + length;
    if (cipher_ != nullptr) {
        size = (size + kRecordBlockSize - 1) / kRecordBlockSize * kRecordBlockSize;
    }
    std::vector<BYTE> image(size, 0);
    std::copy(name_.begin(), name_.end(), image.begin());
    if (digest_ != nullptr && !ComputePayloadDigest(*digest_, buf.data(), static_cast<DWORD>(length),
                                                    image.data() + nameSize, static_cast<DWORD>(digestSize))) {
        throw -1;
    }
    BYTE* lengthField = image.data() + nameSize + digestSize;
    for (int i = 0; i < 4; ++i) {
        lengthField[i] = static_cast<BYTE>(length >> (8 * i));
    }
    if (length != 0) {
        std::memcpy(lengthField + 4, buf.data(), length);
    }
    // A cipher that refuses (no key) must never let the plain text reach the disk.
    if (cipher_ != nullptr && EncryptWhole(*cipher_, image.data(), static_cast<DWORD>(image.size())) != 0) {
        throw -1;
    }
    buf.swap(image);
}

EncryptedRecordFile::EncryptedRecordFile(const std::string& name, const CString& path, const BYTE* key,
                                         DWORD keyLength)
    : RecordFile(name, path), ownCipher_(new CipherPair()), ownDigest_(CreateMd5DigestSession())
{
    KeyAesCbc(*ownCipher_, key, keyLength);
    cipher_ = ownCipher_.get();
    digest_ = ownDigest_.get();
}

EncryptedRecordFile::~EncryptedRecordFile() = default;
