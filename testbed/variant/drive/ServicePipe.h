#pragma once
//
//  The product's own pipe as a client sees it, in raw bytes, so that a test can send requests
//  that no product client would (short, overlong, unknown) and read the replies exactly.
//
#include "classlib/ScopedHandle.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace scmtest {

extern const wchar_t kServicePipeName[];

class ServicePipe {
public:
    // Retries while the pipe is missing or busy, until the time is up.
    bool Open(DWORD timeoutMilliseconds, DWORD access = GENERIC_READ | GENERIC_WRITE);
    // One request written whole, one reply read; false when either fails or the reply does not
    // come within the time.
    bool Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, DWORD timeoutMilliseconds = 15000);
    HANDLE Handle() const { return pipe_.Get(); }
    DWORD LastError() const { return error_; }

private:
    ScopedHandle pipe_;
    ScopedHandle io_;
    DWORD error_ = 0;
};

// A request: the 32-bit code, then the payload's values as 32-bit or 16-bit little-endian.
std::vector<uint8_t> Request32(uint32_t code, std::initializer_list<uint32_t> payload = {});
std::vector<uint8_t> RequestLetter(uint32_t code, wchar_t letter);
// The reply's 32-bit values; a trailing part shorter than 4 bytes is left out.
std::vector<int32_t> Values(const std::vector<uint8_t>& reply);
// Command 2 on a connection of its own: the service reads the stored setting again. The reply's
// values, none when the pipe did not answer.
std::vector<int32_t> Reload();

}  // namespace scmtest
