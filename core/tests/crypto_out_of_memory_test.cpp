//
//  The crypto factories when memory runs out. This executable replaces the non-throwing
//  operator new so that a test can make its next allocations fail; everything else allocates
//  as usual.
//
#include "core/crypto/CipherPair.h"
#include "core/crypto/HashAlgorithm.h"

#include <gtest/gtest.h>

#include <new>

namespace {

// Allocations to let through before the next one fails; negative: never fail.
thread_local int g_nothrowAllocationsBeforeFailure = -1;

class FailingNothrowNew {
public:
    explicit FailingNothrowNew(int allowed) { g_nothrowAllocationsBeforeFailure = allowed; }
    ~FailingNothrowNew() { g_nothrowAllocationsBeforeFailure = -1; }
};

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_nothrowAllocationsBeforeFailure == 0)
        return nullptr;
    if (g_nothrowAllocationsBeforeFailure > 0)
        --g_nothrowAllocationsBeforeFailure;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

TEST(HashFamily, OutOfMemoryGivesNoHash)
{
    for (int type = 0; type <= 7; ++type) {
        FailingNothrowNew failing(0);
        EXPECT_EQ(CreateHash(type), nullptr) << "type " << type;
    }
}

TEST(CipherPair, OutOfMemoryLeavesThePairAsItWas)
{
    for (int allowed : {0, 1}) {
        CipherPair pair;
        ASSERT_EQ(CreateAesCbcCipher(pair), kCipherOk);
        const BlockCipher* cipher = pair.cipher.get();
        const CbcMode* mode = pair.mode.get();

        // With one allocation allowed the cipher is made and must be freed again.
        FailingNothrowNew failing(allowed);
        EXPECT_EQ(CreateAesCbcCipher(pair), kCipherOutOfMemory) << allowed << " allowed";
        EXPECT_EQ(pair.cipher.get(), cipher);
        EXPECT_EQ(pair.mode.get(), mode);
    }

    CipherPair empty;
    FailingNothrowNew failing(1);
    EXPECT_EQ(CreateAesCbcCipher(empty), kCipherOutOfMemory);
    EXPECT_EQ(empty.cipher, nullptr);
    EXPECT_EQ(empty.mode, nullptr);
}
