#include "service/tests/freed_block_watch.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace heapcheck {
namespace {

const unsigned char kFreedMark = 0xDD;
// Enough for the frees of one watched exchange between a few threads; beyond it, blocks are
// freed as usual.
const size_t kKeptLimit = 4096;

std::atomic<bool> watching{false};
std::mutex keptLock;
void* kept[kKeptLimit];
size_t keptCount = 0;

bool KeepFreed(void* block)
{
    if (!watching.load()) {
        return false;
    }
    std::lock_guard<std::mutex> hold(keptLock);
    if (!watching.load() || keptCount == kKeptLimit) {
        return false;
    }
    std::memset(block, kFreedMark, _msize(block));
    kept[keptCount++] = block;
    return true;
}

}  // namespace

FreedBlockWatch::FreedBlockWatch()
{
    watching = true;
}

FreedBlockWatch::~FreedBlockWatch()
{
    std::lock_guard<std::mutex> hold(keptLock);
    watching = false;
    for (size_t i = 0; i < keptCount; ++i) {
        std::free(kept[i]);
    }
    keptCount = 0;
}

size_t FreedBlockWatch::OverwrittenBlocks() const
{
    std::lock_guard<std::mutex> hold(keptLock);
    size_t overwritten = 0;
    for (size_t i = 0; i < keptCount; ++i) {
        const unsigned char* bytes = static_cast<const unsigned char*>(kept[i]);
        const size_t size = _msize(kept[i]);
        for (size_t at = 0; at < size; ++at) {
            if (bytes[at] != kFreedMark) {
                ++overwritten;
                break;
            }
        }
    }
    return overwritten;
}

size_t FreedBlockWatch::KeptBlocks() const
{
    std::lock_guard<std::mutex> hold(keptLock);
    return keptCount;
}

bool FreedBlockWatch::Freed(const void* block) const
{
    std::lock_guard<std::mutex> hold(keptLock);
    return std::find(kept, kept + keptCount, block) != kept + keptCount;
}

}  // namespace heapcheck

void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    if (block != nullptr && !heapcheck::KeepFreed(block)) {
        std::free(block);
    }
}

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}
