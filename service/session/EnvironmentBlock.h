#pragma once
//
//  Owns one environment block that CreateEnvironmentBlock made and destroys it when it goes
//  out of scope.
//
#include <windows.h>
#include <userenv.h>

namespace Quelmar {

class EnvironmentBlock {
public:
    EnvironmentBlock() = default;
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
    ~EnvironmentBlock()
    {
        if (block_)
            DestroyEnvironmentBlock(block_);
    }

    // The block of the token's user, without the calling process's own variables.
    BOOL Create(HANDLE token) { return block_ == nullptr && CreateEnvironmentBlock(&block_, token, FALSE); }
    void* Get() const { return block_; }

private:
    void* block_ = nullptr;
};

}  // namespace Quelmar
