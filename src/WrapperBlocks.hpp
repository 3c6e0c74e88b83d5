// Orvex::WrapperBlocks - where the wrappers of a fill come from: a tree read
// from the store gets one wrapper per value, and one malloc each cost the
// model more than the store's whole read. Internal.
#ifndef ORVEX_SRC_WRAPPERBLOCKS_HPP
#define ORVEX_SRC_WRAPPERBLOCKS_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_ASAN 1
#endif
#endif
#if defined(ORVEX_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace Orvex {

struct WrapperBlock;

// Where a fill puts its wrappers: bump allocation in blocks, one malloc per
// block. Every wrapper, from a block or not, carries one word right after its
// object (found from the size that sized delete passes): its block, or null
// for a wrapper of its own. A block counts its live wrappers (atomically: a
// tree may be torn down on another thread) and is freed with the last; a slot
// freed early is not reused, so a block holds at most what the fill made.
// Nothing outlives the fill but the blocks its wrappers keep.
class WrapperBlocks {
  public:
    WrapperBlocks() = default;
    ~WrapperBlocks() { Retire(); }
    WrapperBlocks(const WrapperBlocks &) = delete;
    WrapperBlocks &operator=(const WrapperBlocks &) = delete;

    // `count` more wrappers are on their way: the next block is sized for
    // them, so that a small tree gets a small block.
    void Expect(size_t count) { _expected += count; }

    // Storage for an object of `size` bytes and its word; std::bad_alloc when
    // memory runs out.
    void *Take(size_t size) {
        const size_t slot = (size + WORD + 15) & ~size_t(15);
        if (slot > static_cast<size_t>(_end - _next))
            NewBlock(slot);
        void *object = _next;
        _next += slot;
        ++_taken;
        _expected -= _expected ? 1 : 0;
        Handed(object, size);
        return object;
    }
    // Node's operator new for a wrapper of its own: one malloc and its word,
    // null when memory runs out.
    static void *AllocateOwn(size_t size) noexcept;
    // Node's operator delete, for either kind (also storage from Take whose
    // constructor threw: its word is set before).
    static void Release(void *object, size_t size) noexcept;

  private:
    static constexpr size_t WORD = sizeof(void *);
    WrapperBlock *_block = nullptr;
    char *_next = nullptr;
    char *_end = nullptr;
    uint32_t _taken = 0; // slots of `_block` handed out
    size_t _expected = 0;

    void NewBlock(size_t slot);
    void Handed(void *object, size_t size) noexcept {
#if defined(ORVEX_ASAN)
        ASAN_UNPOISON_MEMORY_REGION(object, size + WORD);
#endif
        std::memcpy(static_cast<char *>(object) + size, &_block, WORD);
    }
    void Retire() noexcept;
};

} // namespace Orvex

#endif
