#pragma once
//
//  Records the access that product code asks for when it opens or creates registry keys.
//  Wine enforces no key access lists, so a request for more access than the caller holds on
//  Windows succeeds here; the test checks what was asked for instead. The calls still reach
//  Wine's registry unchanged.
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

}  // namespace registrytest
