#include "WrapperBlocks.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace Orvex {

// A block's first 16 bytes; its slots follow, each an object and its word.
struct WrapperBlock {
    // Slots not yet released, plus BIAS while the fill still takes from the
    // block: it cannot reach zero before the fill knows how many it handed
    // out, even when some are released first (a fill that throws).
    std::atomic<uint32_t> live;
};

namespace {

constexpr size_t HEADER = 16;
constexpr uint32_t BIAS = 1u << 31;
// Far below glibc's mmap threshold, so a block costs no system call, and
// small enough that a few wrappers kept alive pin little.
constexpr size_t MIN_ROOM = 512, MAX_ROOM = 32 * 1024;
// What a value wrapper's slot takes: most of a tree's wrappers are values.
constexpr size_t TYPICAL_SLOT = 32;

void mark_freed(void *p, size_t n) {
#if defined(ORVEX_ASAN)
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

void drop(WrapperBlock *block, uint32_t count) noexcept {
    if (block->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        block->live.~atomic();
        std::free(block);
    }
}

} // namespace

void WrapperBlocks::Retire() noexcept {
    if (_block)
        drop(_block, BIAS - _taken);
    _block = nullptr;
    _next = _end = nullptr;
    _taken = 0;
}

void WrapperBlocks::NewBlock(size_t slot) {
    Retire();
    size_t room = _expected * TYPICAL_SLOT;
    room = room < MIN_ROOM ? MIN_ROOM : (room > MAX_ROOM ? MAX_ROOM : room);
    if (room < slot)
        room = slot;
    void *p = std::malloc(HEADER + room);
    if (!p)
        throw std::bad_alloc();
    _block = new (p) WrapperBlock{{BIAS}};
    _next = static_cast<char *>(p) + HEADER;
    _end = _next + room;
    mark_freed(_next, room);
}

void *WrapperBlocks::AllocateOwn(size_t size) noexcept {
    void *object = size <= SIZE_MAX - WORD ? std::malloc(size + WORD) : nullptr;
    if (object)
        std::memset(static_cast<char *>(object) + size, 0, WORD);
    return object;
}

void WrapperBlocks::Release(void *object, size_t size) noexcept {
    if (!object)
        return;
    WrapperBlock *block;
    std::memcpy(&block, static_cast<char *>(object) + size, WORD);
    if (!block) {
        std::free(object);
        return;
    }
    mark_freed(object, size + WORD);
    drop(block, 1);
}

} // namespace Orvex
