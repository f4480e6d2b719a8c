#include "worktables.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace varnolt {

std::array<std::int32_t, 65536> LogLevelTable{};
std::array<std::int32_t, 40320> PermutationTable{};
std::array<std::int32_t, kTableFrames * kTablePartials> PitchTable{};
std::array<char, 16777216> TextBuffer{};
std::array<std::uint8_t, kNoteVolumeFrames * kNoteVolumeFrameBytes> NoteVolumeTable{};
std::array<double, kTableFrames * kTablePartials> LevelTable{};
std::array<double, kTableFrames * kTablePartials> FrequencyTable{};

namespace {

struct BlockPool {
    std::array<void*, 256> slots{};
    int count = 0;
};

BlockPool pool;

}  // namespace

void* PoolAlloc(std::int32_t byteCount) {
    if (byteCount == 0) {
        while (pool.count > 0) {
            --pool.count;
            std::free(pool.slots[pool.count]);
            pool.slots[pool.count] = nullptr;
        }
        return nullptr;
    }
    // Callers keep far fewer blocks than this; a full pool refuses rather than
    // writing past its slots.
    if (pool.count == static_cast<int>(pool.slots.size())) return nullptr;
    // A negative count is a request no system can meet: it fails like one.
    void* block = byteCount > 0 ? std::malloc(static_cast<std::size_t>(byteCount)) : nullptr;
    pool.slots[pool.count] = block;
    ++pool.count;
    return block;
}

int PoolBlockCount() { return pool.count; }

void PrefaultForWriting(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    if (bytes == 0) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(start) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(start) + bytes;
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}

}  // namespace varnolt
