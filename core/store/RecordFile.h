#pragma once
//
//  A whole file that holds one named, digested and (in EncryptedRecordFile) encrypted record:
//  Setting.dat, the install-setting file, CDBurning.dat. The plain text is the record name's
//  bytes, the payload's digest, [u32 payload length], the payload and zeros to a multiple of
//  16; with a cipher the whole of it is encrypted as one chain.
//
//  Unwrap and Wrap work on bytes and build on every preset; Load and Save reach the file and
//  exist on Windows only.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <memory>
#include <string>
#include <vector>

class CipherPair;
class DigestSession;

class RecordFile {
public:
    // A plain record file: no cipher, no digest.
    RecordFile(const std::string& name, const CString& path);
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    virtual ~RecordFile();

#ifdef _WIN32
    // Reads the file and unwraps it: 1 with out holding the payload, 0 for a damaged, foreign
    // or truncated file. A file that cannot be opened or read throws CFileException.
    virtual int Load(std::vector<BYTE>& out);
    // Wraps payload and replaces the file with the image in one step. Throws CFileException.
    virtual void Save(const std::vector<BYTE>& payload);
#endif
    // 1 with buf reduced to the payload, or 0.
    virtual int Unwrap(std::vector<BYTE>& buf);
    // Replaces the payload in buf by the file image. A digest or cipher that fails (a key
    // that was refused) throws -1 and leaves buf as it was.
    virtual void Wrap(std::vector<BYTE>& buf);

    const CString& Path() const { return path_; }
    const std::string& Name() const { return name_; }

protected:
    CString path_;
    std::string name_;
    CipherPair* cipher_ = nullptr;
    DigestSession* digest_ = nullptr;
};

class EncryptedRecordFile : public RecordFile {
public:
    // AES in CBC mode keyed with key (the IV is set only when the key is accepted) and an MD5
    // digest.
    EncryptedRecordFile(const std::string& name, const CString& path, const BYTE* key, DWORD keyLength);
    ~EncryptedRecordFile() override;

#ifdef _WIN32
    // Loads the file and takes the first 32 bits of its payload as formatTag. A file whose
    // payload is shorter, or that does not unwrap, throws -1; one that cannot be opened throws
    // CFileException.
    virtual void ReadFormatTag();
#endif

    DWORD formatTag = 0;

private:
    std::unique_ptr<CipherPair> ownCipher_;
    std::unique_ptr<DigestSession> ownDigest_;
};
