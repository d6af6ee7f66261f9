#pragma once
//
//  A small heap check for the service tests, which run under Wine where no address sanitizer
//  reaches: while a FreedBlockWatch lives, every block that operator delete frees is filled
//  with a mark and kept back instead of given to the heap, so that a write into it after its
//  release is still there to be seen when the watch asks. The replacement operators live in
//  freed_block_watch.cpp; outside a watch they are malloc and free.
//
#include <cstddef>

namespace heapcheck {

class FreedBlockWatch {
public:
    FreedBlockWatch();
    // Gives the kept blocks back to the heap.
    ~FreedBlockWatch();
    FreedBlockWatch(const FreedBlockWatch&) = delete;
    FreedBlockWatch& operator=(const FreedBlockWatch&) = delete;

    // Blocks freed since the watch began whose mark was written over after their release.
    size_t OverwrittenBlocks() const;
    size_t KeptBlocks() const;
    // The block was freed since the watch began (and is kept).
    bool Freed(const void* block) const;
};

}  // namespace heapcheck
