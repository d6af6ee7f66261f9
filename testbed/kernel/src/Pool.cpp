// Pool with accounting per tag and type, failure injection and the paged lookaside lists.
#include "testbed/kernel/src/KernelState.h"

#include <cstdio>
#include <cstdlib>

namespace standin {
namespace {

struct Block {
  SIZE_T Size;
  ULONG Tag;
  POOL_TYPE Type;
};

std::mutex poolLock;
std::map<void *, Block> blocks;
std::map<int, size_t> allocationsByType;
size_t failCount = 0;
size_t failSkip = 0;
ULONG failTag = 0;

std::string TagText(ULONG tag) {
  char text[64];
  snprintf(text, sizeof text, "tag 0x%08x", static_cast<unsigned>(tag));
  return text;
}

}  // namespace

bool ConsumeFailure(size_t &counter) {
  if (counter == 0) return false;
  --counter;
  return true;
}

void ResetPool() {
  std::lock_guard<std::mutex> guard(poolLock);
  for (auto &block : blocks) free(block.first);
  blocks.clear();
  allocationsByType.clear();
  failCount = failSkip = 0;
  failTag = 0;
}

void ReportPoolLeaks(std::vector<std::string> &leaks) {
  std::lock_guard<std::mutex> guard(poolLock);
  std::map<ULONG, size_t> byTag;
  for (auto &block : blocks) byTag[block.second.Tag]++;
  for (auto &tag : byTag) leaks.push_back(TagText(tag.first) + ": " + std::to_string(tag.second) + " blocks");
}

size_t LivePoolBlocks(ULONG tag) {
  std::lock_guard<std::mutex> guard(poolLock);
  size_t count = 0;
  for (auto &block : blocks)
    if (tag == 0 || block.second.Tag == tag) ++count;
  return count;
}

size_t PoolAllocations(POOL_TYPE type) {
  std::lock_guard<std::mutex> guard(poolLock);
  return allocationsByType[type];
}

void FailPoolAllocations(size_t count, ULONG tag, size_t skip) {
  std::lock_guard<std::mutex> guard(poolLock);
  failCount = count;
  failTag = tag;
  failSkip = skip;
}

}  // namespace standin

using namespace standin;

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  CheckIrql("ExAllocatePoolWithTag", PoolType == PagedPool ? APC_LEVEL : DISPATCH_LEVEL);
  std::lock_guard<std::mutex> guard(poolLock);
  if (failCount > 0 && (failTag == 0 || failTag == Tag)) {
    if (failSkip > 0) {
      --failSkip;
    } else {
      --failCount;
      return nullptr;
    }
  }
  void *memory = malloc(NumberOfBytes ? NumberOfBytes : 1);
  if (memory == nullptr) return nullptr;
  // Fresh pool is not zeroed: a driver that reads before it writes must show it.
  memset(memory, 0xCD, NumberOfBytes);
  blocks[memory] = Block{NumberOfBytes, Tag, PoolType};
  allocationsByType[PoolType]++;
  return memory;
}

VOID ExFreePoolWithTag(PVOID P, ULONG Tag) {
  CheckIrql("ExFreePoolWithTag", DISPATCH_LEVEL);
  std::lock_guard<std::mutex> guard(poolLock);
  auto found = blocks.find(P);
  if (found == blocks.end()) {
    Violation("ExFreePoolWithTag of a block that is not allocated");
    return;
  }
  if (found->second.Tag != Tag) Violation("ExFreePoolWithTag with another tag than the allocation's");
  if (found->second.Type == PagedPool && KeGetCurrentIrql() > APC_LEVEL)
    Violation("paged pool freed above APC_LEVEL");
  free(P);
  blocks.erase(found);
}

VOID ExInitializePagedLookasideList(PPAGED_LOOKASIDE_LIST Lookaside, PALLOCATE_FUNCTION Allocate,
                                    PFREE_FUNCTION Free, ULONG Flags, SIZE_T Size, ULONG Tag,
                                    USHORT Depth) {
  CheckIrql("ExInitializePagedLookasideList", APC_LEVEL);
  UNREFERENCED_PARAMETER(Allocate);
  UNREFERENCED_PARAMETER(Free);
  UNREFERENCED_PARAMETER(Flags);
  UNREFERENCED_PARAMETER(Depth);
  Lookaside->Size = Size;
  Lookaside->Tag = Tag;
  Lookaside->Type = PagedPool;
  Lookaside->Allocated = 0;
}

VOID ExDeletePagedLookasideList(PPAGED_LOOKASIDE_LIST Lookaside) {
  CheckIrql("ExDeletePagedLookasideList", APC_LEVEL);
  if (Lookaside->Allocated != 0) Violation("lookaside list deleted with entries outstanding");
}

PVOID ExAllocateFromPagedLookasideList(PPAGED_LOOKASIDE_LIST Lookaside) {
  CheckIrql("ExAllocateFromPagedLookasideList", APC_LEVEL);
  PVOID entry = ExAllocatePoolWithTag(PagedPool, Lookaside->Size, Lookaside->Tag);
  if (entry != nullptr) __atomic_add_fetch(&Lookaside->Allocated, 1, __ATOMIC_SEQ_CST);
  return entry;
}

VOID ExFreeToPagedLookasideList(PPAGED_LOOKASIDE_LIST Lookaside, PVOID Entry) {
  CheckIrql("ExFreeToPagedLookasideList", APC_LEVEL);
  __atomic_sub_fetch(&Lookaside->Allocated, 1, __ATOMIC_SEQ_CST);
  ExFreePoolWithTag(Entry, Lookaside->Tag);
}
