#pragma once
//
//  Records the access that product code asks for when it opens or creates registry keys, and
//  fails chosen value writes. Wine enforces no key access lists, so a request for more access
//  than the caller holds on Windows succeeds here; the test checks what was asked for instead,
//  and makes a write fail where Windows would refuse it. Every other call reaches Wine's
//  registry unchanged.
//
#include <windows.h>

#include <string>
#include <vector>

namespace registrytest {

struct KeyRequest {
    enum Kind { Create, Open } kind;
    std::wstring subKey;   // as passed; empty for a null sub-key
    REGSAM access;
    DWORD disposition;     // creates only: REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY
};

// Records every key request made on the constructing thread while it lives.
class KeyRequestRecording {
public:
    KeyRequestRecording();
    ~KeyRequestRecording();
    KeyRequestRecording(const KeyRequestRecording&) = delete;
    KeyRequestRecording& operator=(const KeyRequestRecording&) = delete;

    const std::vector<KeyRequest>& Requests() const { return requests_; }
    void Add(const KeyRequest& request) { requests_.push_back(request); }

private:
    std::vector<KeyRequest> requests_;
};

// While it lives, every write of the named value fails with ERROR_ACCESS_DENIED, as it would
// for a caller without write access to the key; other writes reach the registry.
class FailingValueWrite {
public:
    explicit FailingValueWrite(std::wstring valueName);
    ~FailingValueWrite();
    FailingValueWrite(const FailingValueWrite&) = delete;
    FailingValueWrite& operator=(const FailingValueWrite&) = delete;

    const std::wstring& ValueName() const { return valueName_; }

private:
    std::wstring valueName_;
};

}  // namespace registrytest
