#include "worktables.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define VARNOLT_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNOLT_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef VARNOLT_ADDRESS_SANITIZER
#define VARNOLT_ADDRESS_SANITIZER 0
#endif

namespace varnolt {

WorkTableStore workTableStore{};

namespace {

struct BlockPool {
    struct Block {
        void* start = nullptr;
        std::size_t mappedBytes = 0;
    };
    std::array<Block, 256> slots{};
    int count = 0;
};

std::size_t RoundUpToLargePages(std::size_t bytes) {
    return (bytes + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
}

// A large page is zeroed whole when first touched: worth it for a range of this size
// or more, not for the few small pages of a short file, nor once the sanitizer must see
// the ends of each heap block.
bool WorthLargePages(std::size_t bytes) {
    return !VARNOLT_ADDRESS_SANITIZER && bytes >= kLargePageBytes / 32;
}

// Large blocks are whole large pages of their own, starting on a large-page boundary:
// a mapping the system places anywhere would share its first and last large page with
// its neighbours. Smaller ones come from the heap (mappedBytes 0).
BlockPool::Block TakeBlock(std::size_t bytes) {
    if (!WorthLargePages(bytes)) return {std::malloc(bytes), 0};
    const std::size_t mappedBytes = RoundUpToLargePages(bytes);
    const std::size_t spanBytes = mappedBytes + kLargePageBytes;
    void* span = ::mmap(nullptr, spanBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (span == MAP_FAILED) return {};
    const auto spanStart = reinterpret_cast<std::uintptr_t>(span);
    const auto start = (spanStart + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
    // Give back the ends that fall outside the aligned block.
    if (start > spanStart) ::munmap(span, start - spanStart);
    const std::uintptr_t tail = start + mappedBytes;
    if (spanStart + spanBytes > tail) ::munmap(reinterpret_cast<void*>(tail), spanStart + spanBytes - tail);
    return {reinterpret_cast<void*>(start), mappedBytes};
}

void GiveBack(const BlockPool::Block& block) {
    if (block.mappedBytes == 0) {
        std::free(block.start);
    } else {
        ::munmap(block.start, block.mappedBytes);
    }
}

BlockPool pool;

}  // namespace

void* PoolAlloc(std::int32_t byteCount) {
    if (byteCount == 0) {
        while (pool.count > 0) {
            --pool.count;
            GiveBack(pool.slots[pool.count]);
            pool.slots[pool.count] = {};
        }
        return nullptr;
    }
    // Callers keep far fewer blocks than this; a full pool refuses rather than
    // writing past its slots.
    if (pool.count == static_cast<int>(pool.slots.size())) return nullptr;
    // A negative count is a request no system can meet: it fails like one.
    const BlockPool::Block block =
        byteCount > 0 ? TakeBlock(static_cast<std::size_t>(byteCount)) : BlockPool::Block{};
    pool.slots[pool.count] = block;
    ++pool.count;
    return block.start;
}

int PoolBlockCount() { return pool.count; }

void PrefaultForWriting(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    if (bytes == 0) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(start) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(start) + bytes;
#ifdef MADV_HUGEPAGE
    // Large tables and large pool blocks start large pages of their own, and the small
    // tables that share the first one gain from it as well: the rounded range is theirs.
    if (WorthLargePages(bytes)) {
        const auto largeFirst = reinterpret_cast<std::uintptr_t>(start) & ~(kLargePageBytes - 1);
        const std::uintptr_t largeEnd = RoundUpToLargePages(end);
        ::madvise(reinterpret_cast<void*>(largeFirst), largeEnd - largeFirst, MADV_HUGEPAGE);
    }
#endif
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}

}  // namespace varnolt
